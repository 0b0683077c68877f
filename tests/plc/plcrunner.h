#pragma once

// Runs Structured Text programs for real: compiles a compilation unit with matiec's iec2c, then
// its C output with a generated driver, and executes the result scan by scan in one process.
// Test support only; it needs the matiec folder and a C compiler (see plcToolsAvailable).

#include <cstdint>
#include <string>
#include <vector>

namespace trilette {

/// A program instance of the configuration: the variables (BOOL or DINT) that the driver sets
/// before each scan, and those it reads after. A name may reach into a function block
/// instance ("T3_horloge.Q").
struct PlcProgramInfo
{
    std::string programType, instanceName;
    std::vector<std::string> inputs, observed;
};

/// One scan: the clock in milliseconds (never going back), then per program the value of each
/// input, in the order of PlcProgramInfo (BOOL as 0 or 1).
struct PlcScan
{
    std::int64_t timeMs = 0;
    std::vector<std::vector<std::int64_t>> inputs;
};

/// After one scan, per program the value of each observed variable, in declaration order.
using PlcObservation = std::vector<std::vector<std::int64_t>>;

/// Whether iec2c runs from `matiecDir` beside its library and a C compiler (cc or gcc) is on
/// the PATH; false with the reason.
bool plcToolsAvailable(const std::string &matiecDir, std::string *why);

/// Compiles `unit` (PROGRAMs and one CONFIGURATION whose resource `resource` runs every
/// instance of `programs` in one task) with iec2c and the C compiler, then runs one scan per
/// entry of `scans`, scan n calling the configuration with tick n, and reads the observed values
/// after each. False with the compilers' messages (the source is "unit.st" in them) or the scan
/// where the program stopped, the observations made until then kept.
bool runPlcProgram(const std::string &matiecDir, const std::string &unit,
                   const std::string &resource, const std::vector<PlcProgramInfo> &programs,
                   const std::vector<PlcScan> &scans, std::vector<PlcObservation> *observations,
                   std::string *error);

} // namespace trilette
