#pragma once

// Runs Structured Text programs for real: compiles a compilation unit with matiec's iec2c, then
// its C output with a generated driver, and executes the result scan by scan in one process.
// Test support only; it needs the matiec folder (iec2c and its lib/) and cc on the PATH.

#include <cstdint>
#include <string>
#include <vector>

namespace trilette {

/// A program instance (the i-th is named Ii): the variables (BOOL or DINT) that the driver sets
/// before each scan, and those it reads after.
struct PlcProgramInfo
{
    std::string programType;
    std::vector<std::string> inputs, observed;
};

/// The numbers of one scan. In: the clock in milliseconds (never going back), then the inputs
/// of each program in order (BOOL as 0 or 1). Out: the observed values of each program in order.
using PlcValues = std::vector<std::int64_t>;

/// Compiles the PROGRAMs in `pous` with a configuration that runs an instance of each of
/// `programs` in one task, with iec2c and the C compiler; then runs one scan per entry of
/// `scans`, scan n calling the configuration with tick n, and reads the observed values after
/// each. False with the compilers' messages (the source is "unit.st" in them) or the scan where
/// the program stopped, the observations made until then kept.
bool runPlcProgram(const std::string &matiecDir, const std::string &pous,
                   const std::vector<PlcProgramInfo> &programs, const std::vector<PlcValues> &scans,
                   std::vector<PlcValues> *observations, std::string *error);

} // namespace trilette
