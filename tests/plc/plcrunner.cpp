#include "tests/plc/plcrunner.h"

#include "st/words.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>

namespace trilette {

namespace {

QString cCompiler()
{
    const QString cc = QStandardPaths::findExecutable(QStringLiteral("cc"));
    return cc.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("gcc")) : cc;
}

/// Runs a tool in `dir` to its end, two minutes at most (iec2c loops forever on some input);
/// false with what it printed.
bool runTool(const QString &dir, const QString &program, const QStringList &args,
             std::string *output)
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C")); // the same messages anywhere
    process.setProcessEnvironment(environment);
    process.start(program, args);
    const bool ended = process.waitForFinished(120000);
    if (!ended)
        process.kill();
    *output = program.toStdString() + (ended ? "" : " : " + process.errorString().toStdString())
        + " :\n" + process.readAll().toStdString();
    return ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

/// The C program that runs the configuration: it reads per line the time in ms and the inputs,
/// and writes per line the observed values.
std::string driver(const std::string &resource, const std::vector<PlcProgramInfo> &programs)
{
    std::string declarations, sets, gets;
    for (const PlcProgramInfo &program : programs) {
        const std::string instance = upperCase(resource) + "__" + upperCase(program.instanceName);
        declarations += "extern " + upperCase(program.programType) + " " + instance + ";\n";
        for (const std::string &input : program.inputs)
            sets += "        if (scanf(\"%lld\", &value) != 1) return 2;\n        __SET_VAR("
                + instance + "., " + upperCase(input) + ", , value);\n";
        for (const std::string &observed : program.observed)
            gets += "        printf(\" %lld\", (long long)__GET_VAR(" + instance + "."
                + upperCase(observed) + "));\n";
    }
    return "#include <stdio.h>\n#include \"iec_std_lib.h\"\n#include \"POUS.h\"\n"
           "TIME __CURRENT_TIME;\nBOOL __DEBUG;\nvoid config_init__(void);\n"
           "void config_run__(unsigned long tick);\n"
        + declarations
        + "int main(void)\n{\n    long long ms, value = 0;\n    unsigned long tick = 0;\n"
          "    setvbuf(stdout, NULL, _IOLBF, 0);\n    config_init__();\n"
          "    while (scanf(\"%lld\", &ms) == 1) {\n"
          "        __CURRENT_TIME.tv_sec = ms / 1000;\n"
          "        __CURRENT_TIME.tv_nsec = ms % 1000 * 1000000;\n"
        + sets + "        config_run__(tick++);\n" + gets
        + "        putchar('\\n');\n    }\n    return feof(stdin) ? 0 : 2;\n}\n";
}

} // namespace

bool plcToolsAvailable(const std::string &matiecDir, std::string *why)
{
    const QString dir = QString::fromStdString(matiecDir);
    std::string output;
    if (!QFileInfo::exists(dir + "/lib/C/iec_std_lib.h"))
        *why = "pas de lib/C/iec_std_lib.h dans " + matiecDir;
    else if (!runTool(dir, dir + "/iec2c", {QStringLiteral("-v")}, &output))
        *why = "iec2c ne tourne pas : " + output;
    else if (cCompiler().isEmpty())
        *why = "pas de compilateur C (cc ou gcc)";
    else
        return true;
    return false;
}

bool runPlcProgram(const std::string &matiecDir, const std::string &unit,
                   const std::string &resource, const std::vector<PlcProgramInfo> &programs,
                   const std::vector<PlcScan> &scans, std::vector<PlcObservation> *observations,
                   std::string *error)
{
    observations->clear();
    QTemporaryDir work;
    const QString dir = work.path(), matiec = QString::fromStdString(matiecDir);
    const std::string path = dir.toStdString();
    if (!work.isValid() || !QDir(dir).mkdir(QStringLiteral("gen"))
        || !(std::ofstream(path + "/unit.st") << unit)
        || !(std::ofstream(path + "/driver.c") << driver(resource, programs))) {
        *error = "impossible d'écrire dans " + path;
        return false;
    }
    if (!runTool(dir, matiec + "/iec2c", {"-I", matiec + "/lib", "-T", "gen", "unit.st"}, error))
        return false;
    QStringList args {"-O0", "-w",  "-o",      "plcprogram", "-I", matiec + "/lib/C",
                      "-I",  "gen", "driver.c"};
    for (const QString &source : QDir(dir + "/gen").entryList({"*.c"}, QDir::Files)) {
        if (source != "POUS.c") // the resource's file includes it
            args.append("gen/" + source);
    }
    args.append("-lm");
    if (!runTool(dir, cCompiler(), args, error))
        return false;

    std::string input;
    for (const PlcScan &scan : scans) {
        input += std::to_string(scan.timeMs);
        for (const std::vector<std::int64_t> &values : scan.inputs) {
            for (std::int64_t value : values)
                input += ' ' + std::to_string(value);
        }
        input += '\n';
    }
    QProcess process;
    process.start(dir + "/plcprogram", QStringList());
    process.write(input.data(), qint64(input.size()));
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(600000);
    if (!ended)
        process.kill();
    // Whole lines only: a crash may leave half of one.
    std::istringstream lines(process.readAllStandardOutput().toStdString());
    for (std::string line; std::getline(lines, line) && !lines.eof();) {
        std::istringstream values(line);
        PlcObservation observation;
        for (const PlcProgramInfo &program : programs) {
            observation.emplace_back(program.observed.size());
            for (std::int64_t &value : observation.back())
                values >> value;
        }
        if (!values || !(values >> std::ws).eof() || observations->size() == scans.size())
            break;
        observations->push_back(std::move(observation));
    }
    *error = "le programme s'arrête au cycle " + std::to_string(observations->size()) + " : "
        + (!ended ? "il ne finit pas"
               : process.exitStatus() != QProcess::NormalExit
               ? "il plante"
               : "code de sortie " + std::to_string(process.exitCode()));
    return ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0
        && observations->size() == scans.size();
}

} // namespace trilette
