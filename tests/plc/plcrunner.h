#pragma once

// Runs Structured Text programs for real: compiles a compilation unit with matiec's iec2c, then
// its C output with a generated driver, and executes the result scan by scan in one process.
// Test support only; it needs the matiec folder and a C compiler (see plcToolsAvailable).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QTemporaryDir;

namespace trilette {

/// A variable of a program instance, as declared in ST. A name may reach into a function block
/// instance ("T3_horloge.Q").
struct PlcVariable
{
    enum Type { Bool, Dint };
    std::string name;
    Type type = Bool;
};

/// A program instance of the configuration: the values the driver sets before each scan and
/// the ones it reads after.
struct PlcProgramInfo
{
    std::string programType, instanceName;
    std::vector<PlcVariable> inputs, observed;
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

class PlcRunner
{
public:
    explicit PlcRunner(std::string matiecDir);
    ~PlcRunner();
    PlcRunner(const PlcRunner &) = delete;
    PlcRunner &operator=(const PlcRunner &) = delete;

    /// Compiles a whole compilation unit (PROGRAMs and one CONFIGURATION holding `resourceName`)
    /// with iec2c, then with the C compiler and a driver for `programs`; false with the
    /// compilers' messages (the source is named "unit.st" in them). All programs should run
    /// in one task: scan n calls the configuration with tick n.
    bool build(const std::string &stSource, const std::string &resourceName,
               const std::vector<PlcProgramInfo> &programs, std::string *error);

    /// Starts the built program afresh (initial values), runs one scan per entry of `scans`
    /// and reads the observed values after each; false with the reason when the program fails,
    /// the observations made until then kept. Thousands of scans cost one process.
    bool run(const std::vector<PlcScan> &scans, std::vector<PlcObservation> *observations,
             std::string *error) const;

    /// The C driver that build() wrote for `programs`, for reading when a run surprises.
    static std::string driverSource(const std::string &resourceName,
                                    const std::vector<PlcProgramInfo> &programs);

private:
    std::string matiecDir;
    std::unique_ptr<QTemporaryDir> workDir;
    std::vector<PlcProgramInfo> programs;
    std::string executable;
};

} // namespace trilette
