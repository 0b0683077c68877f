#include "tests/plc/plcrunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace trilette {

namespace {

const int compileTimeoutMs = 120000; // iec2c loops forever on some input (END_ACTION as a name)
const int runTimeoutMs = 600000;

QString qs(const std::string &text)
{
    return QString::fromStdString(text);
}

// ASCII only, whatever the locale: names go into C source.
bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string upper(std::string name)
{
    for (char &c : name) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return name;
}

/// An ST identifier, or several joined by dots: what may be pasted into the C driver.
bool isName(const std::string &name)
{
    bool start = true;
    for (char c : name) {
        if (start ? !isLetter(c) : !(isLetter(c) || isDigit(c) || c == '.'))
            return false;
        start = c == '.';
    }
    return !start;
}

QString cCompiler()
{
    QString found = QStandardPaths::findExecutable(QStringLiteral("cc"));
    return found.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("gcc")) : found;
}

/// Runs a compiler to its end in `dir`; false with what it printed when it fails.
bool runTool(const QString &dir, const QString &program, const QStringList &args,
             std::string *output)
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.setProcessChannelMode(QProcess::MergedChannels);
    // Messages in plain ASCII, the same on every machine.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.start(program, args);
    if (!process.waitForStarted()) {
        *output
            = "cannot start " + program.toStdString() + ": " + process.errorString().toStdString();
        return false;
    }
    if (!process.waitForFinished(compileTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        *output = program.toStdString() + " did not end";
        return false;
    }
    *output = process.readAll().toStdString();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

/// iec2c's output without the names of the files it wrote, one a line.
std::string iec2cMessages(const std::string &output)
{
    std::string kept;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        end = end == std::string::npos ? output.size() : end + 1;
        const std::string line = output.substr(start, end - start);
        const QString name = qs(line).trimmed();
        const bool fileName = !name.isEmpty() && !name.contains(' ')
            && (name.endsWith(".c") || name.endsWith(".h") || name.endsWith(".csv"));
        if (!fileName)
            kept += line;
        start = end;
    }
    return kept;
}

/// The lines of a C compiler's output that say "error:", or all of it when none does.
std::string errorLines(const std::string &output)
{
    std::string kept;
    for (const QString &line : qs(output).split('\n')) {
        if (line.contains(QLatin1String(" error: ")))
            kept += line.toStdString() + '\n';
    }
    return kept.empty() ? output : kept;
}

/// Reads the driver's answer, per line the observed values of every program, into
/// `observations`; stops at the first line that is cut (a crash may leave half of one) or wrong.
void readObservations(const QByteArray &output, const std::vector<PlcProgramInfo> &programs,
                      size_t scans, std::vector<PlcObservation> *observations)
{
    const char *at = output.constData();
    const char *const end = at + output.size();
    while (observations->size() < scans) {
        const char *const lineEnd
            = static_cast<const char *>(std::memchr(at, '\n', size_t(end - at)));
        if (!lineEnd)
            return;
        PlcObservation observation;
        for (const PlcProgramInfo &program : programs) {
            observation.emplace_back();
            for (size_t i = 0; i < program.observed.size(); ++i) {
                // from_chars reads within the line; strtoll under AddressSanitizer measures the
                // whole rest of the answer at each number.
                while (at < lineEnd && *at == ' ')
                    ++at;
                std::int64_t value = 0;
                const auto [next, error] = std::from_chars(at, lineEnd, value);
                if (error != std::errc() || next == at)
                    return;
                observation.back().push_back(value);
                at = next;
            }
        }
        if (at != lineEnd)
            return;
        observations->push_back(std::move(observation));
        at = lineEnd + 1;
    }
}

bool fail(std::string *error, const std::string &message)
{
    if (error)
        *error = message;
    return false;
}

bool writeFile(const QString &path, const std::string &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly)
        && file.write(text.data(), qint64(text.size())) == qint64(text.size()) && file.flush();
}

} // namespace

bool plcToolsAvailable(const std::string &matiecDir, std::string *why)
{
    const QString dir = qs(matiecDir);
    if (!QFileInfo(dir + "/iec2c").isExecutable())
        return fail(why, "no iec2c in " + matiecDir);
    if (!QFileInfo::exists(dir + "/lib/C/iec_std_lib.h"))
        return fail(why, "no lib/C/iec_std_lib.h in " + matiecDir);
    std::string output;
    if (!runTool(dir, dir + "/iec2c", {QStringLiteral("-v")}, &output))
        return fail(why, "iec2c does not run here: " + output);
    if (cCompiler().isEmpty())
        return fail(why, "no C compiler (cc or gcc) on the PATH");
    return true;
}

PlcRunner::PlcRunner(std::string matiecDir)
    : matiecDir(std::move(matiecDir))
{ }

PlcRunner::~PlcRunner() = default;

std::string PlcRunner::driverSource(const std::string &resourceName,
                                    const std::vector<PlcProgramInfo> &programs)
{
    std::string declarations, sets, gets;
    for (const PlcProgramInfo &program : programs) {
        const std::string instance = upper(resourceName) + "__" + upper(program.instanceName);
        declarations += "extern " + upper(program.programType) + " " + instance + ";\n";
        for (const PlcVariable &input : program.inputs) {
            sets += "        if (scanf(\"%lld\", &value) != 1)\n"
                    "            return 2;\n"
                    "        __SET_VAR("
                + instance + "., " + upper(input.name) + ", , value);\n";
        }
        for (const PlcVariable &observed : program.observed)
            gets += "        put((long long)__GET_VAR(" + instance + "." + upper(observed.name)
                + "));\n";
    }
    return "/* Runs the configuration scan by scan: reads per line the time in ms and the inputs,\n"
           "   writes per line the observed values. */\n"
           "#include <stdio.h>\n"
           "#include \"iec_std_lib.h\"\n"
           "#include \"POUS.h\"\n"
           "\n"
           "TIME __CURRENT_TIME;\n"
           "BOOL __DEBUG;\n"
           "void config_init__(void);\n"
           "void config_run__(unsigned long tick);\n"
        + declarations
        + "\n"
          "static int first;\n"
          "static void put(long long value)\n"
          "{\n"
          "    printf(first ? \"%lld\" : \" %lld\", value);\n"
          "    first = 0;\n"
          "}\n"
          "\n"
          "int main(void)\n"
          "{\n"
          "    long long ms, value;\n"
          "    unsigned long tick = 0;\n"
          "    (void)value;\n"
          "    setvbuf(stdout, NULL, _IOLBF, 0);\n"
          "    config_init__();\n"
          "    while (scanf(\"%lld\", &ms) == 1) {\n"
          "        __CURRENT_TIME.tv_sec = ms / 1000;\n"
          "        __CURRENT_TIME.tv_nsec = ms % 1000 * 1000000;\n"
        + sets
        + "        config_run__(tick++);\n"
          "        first = 1;\n"
        + gets
        + "        putchar('\\n');\n"
          "    }\n"
          "    return feof(stdin) ? 0 : 2;\n"
          "}\n";
}

bool PlcRunner::build(const std::string &stSource, const std::string &resourceName,
                      const std::vector<PlcProgramInfo> &programs, std::string *error)
{
    executable.clear();
    this->programs = programs;
    if (!isName(resourceName) || resourceName.find('.') != std::string::npos)
        return fail(error, "invalid resource name: " + resourceName);
    for (const PlcProgramInfo &program : programs) {
        for (const std::string &name : {program.programType, program.instanceName}) {
            if (!isName(name) || name.find('.') != std::string::npos)
                return fail(error, "invalid program name: " + name);
        }
        for (const auto *list : {&program.inputs, &program.observed}) {
            for (const PlcVariable &variable : *list) {
                if (!isName(variable.name))
                    return fail(error, "invalid variable name: " + variable.name);
            }
        }
    }

    workDir = std::make_unique<QTemporaryDir>();
    const QString dir = workDir->path();
    if (!workDir->isValid() || !QDir(dir).mkdir(QStringLiteral("gen")))
        return fail(error, "cannot create a temporary folder");
    if (!writeFile(dir + "/unit.st", stSource)
        || !writeFile(dir + "/driver.c", driverSource(resourceName, programs)))
        return fail(error, "cannot write in " + dir.toStdString());

    const QString matiec = qs(matiecDir);
    std::string output;
    if (!runTool(dir, matiec + "/iec2c",
                 {"-I", matiec + "/lib", "-T", QStringLiteral("gen"), QStringLiteral("unit.st")},
                 &output))
        return fail(error, "iec2c: " + iec2cMessages(output));

    QStringList args {"-O0",
                      "-w",
                      "-I",
                      matiec + "/lib/C",
                      "-I",
                      QStringLiteral("gen"),
                      QStringLiteral("driver.c")};
    // The resource files include POUS.c themselves.
    const QStringList sources = QDir(dir + "/gen").entryList({QStringLiteral("*.c")}, QDir::Files);
    for (const QString &source : sources) {
        if (source != QLatin1String("POUS.c"))
            args << "gen/" + source;
    }
    args << "-o" << QStringLiteral("plcprogram") << QStringLiteral("-lm");
    if (!runTool(dir, cCompiler(), args, &output))
        return fail(error, "C compiler: " + errorLines(output));
    executable = (dir + "/plcprogram").toStdString();
    return true;
}

bool PlcRunner::run(const std::vector<PlcScan> &scans, std::vector<PlcObservation> *observations,
                    std::string *error) const
{
    observations->clear();
    if (executable.empty())
        return fail(error, "nothing built");

    std::string input;
    std::int64_t lastMs = 0;
    size_t outputsPerScan = 0;
    for (const PlcProgramInfo &program : programs)
        outputsPerScan += program.observed.size();
    for (size_t n = 0; n < scans.size(); ++n) {
        const PlcScan &scan = scans[n];
        const std::string where = "scan " + std::to_string(n) + ": ";
        if (scan.timeMs < lastMs)
            return fail(error, where + "the time goes back");
        lastMs = scan.timeMs;
        if (scan.inputs.size() != programs.size())
            return fail(error,
                        where + "inputs for " + std::to_string(scan.inputs.size())
                            + " programs, not " + std::to_string(programs.size()));
        input += std::to_string(scan.timeMs);
        for (size_t p = 0; p < programs.size(); ++p) {
            const std::vector<PlcVariable> &declared = programs[p].inputs;
            if (scan.inputs[p].size() != declared.size())
                return fail(error,
                            where + programs[p].instanceName + ": "
                                + std::to_string(scan.inputs[p].size()) + " inputs, not "
                                + std::to_string(declared.size()));
            for (size_t i = 0; i < declared.size(); ++i) {
                const std::int64_t value = scan.inputs[p][i];
                const bool fits = declared[i].type == PlcVariable::Bool
                    ? value == 0 || value == 1
                    : value >= std::numeric_limits<std::int32_t>::min()
                        && value <= std::numeric_limits<std::int32_t>::max();
                if (!fits)
                    return fail(error,
                                where + declared[i].name + " cannot hold " + std::to_string(value));
                input += ' ' + std::to_string(value);
            }
        }
        input += '\n';
    }

    QProcess process;
    process.start(qs(executable), QStringList());
    if (!process.waitForStarted())
        return fail(error, "cannot start the program: " + process.errorString().toStdString());
    process.write(input.data(), qint64(input.size()));
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(runTimeoutMs);
    if (!ended) {
        process.kill();
        process.waitForFinished();
    }

    readObservations(process.readAllStandardOutput(), programs, scans.size(), observations);
    const std::string stopped
        = "the program stopped at scan " + std::to_string(observations->size());
    if (!ended)
        return fail(error, stopped + ": it did not end");
    if (process.exitStatus() != QProcess::NormalExit)
        return fail(error, stopped + ": it crashed");
    if (process.exitCode() != 0 || observations->size() != scans.size())
        return fail(error, stopped + ": exit status " + std::to_string(process.exitCode()));
    return true;
}

} // namespace trilette
