#include "tests/plc/plcrunner.h"

#include "st/words.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>

namespace trilette {

namespace {

/// Runs a tool in `dir` to its end, two minutes at most (iec2c loops forever on some input);
/// false with what it printed.
bool runTool(const QString &dir, const QString &program, const QStringList &args,
             std::string *output)
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.setProcessChannelMode(QProcess::MergedChannels);
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
std::string driver(const std::vector<PlcProgramInfo> &programs)
{
    std::string declarations, sets, gets;
    for (size_t i = 0; i < programs.size(); ++i) {
        const PlcProgramInfo &program = programs[i];
        const std::string instance = "RESSOURCE__I" + std::to_string(i);
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

bool runPlcProgram(const std::string &matiecDir, const std::string &pous,
                   const std::vector<PlcProgramInfo> &programs, const std::vector<PlcValues> &scans,
                   std::vector<PlcValues> *observations, std::string *error)
{
    observations->clear();
    std::string unit = pous
        + "CONFIGURATION Config\nRESOURCE Ressource ON PLC\n"
          "TASK Tache(INTERVAL := T#10ms, PRIORITY := 0);\n";
    for (size_t i = 0; i < programs.size(); ++i)
        unit
            += "PROGRAM I" + std::to_string(i) + " WITH Tache : " + programs[i].programType + ";\n";
    unit += "END_RESOURCE\nEND_CONFIGURATION\n";
    QTemporaryDir work;
    const QString dir = work.path(), matiec = QString::fromStdString(matiecDir);
    const std::string path = dir.toStdString();
    if (!work.isValid() || !QDir(dir).mkdir(QStringLiteral("gen"))
        || !(std::ofstream(path + "/unit.st") << unit)
        || !(std::ofstream(path + "/driver.c") << driver(programs))) {
        *error = "impossible d'écrire dans " + path;
        return false;
    }
    if (!runTool(dir, matiec + "/iec2c", {"-I", matiec + "/lib", "-T", "gen", "unit.st"}, error))
        return false;
    QStringList args {"-O0", "-w",  "-o",      "plcprogram", "-I", matiec + "/lib/C",
                      "-I",  "gen", "driver.c"};
    for (const QString &source : QDir(dir + "/gen").entryList({"*.c"}, QDir::Files))
        if (source != "POUS.c") // the resource's file includes it
            args.append("gen/" + source);
    args.append("-lm");
    if (!runTool(dir, QStringLiteral("cc"), args, error))
        return false;

    std::string input;
    for (const PlcValues &scan : scans) {
        for (std::int64_t value : scan)
            input += std::to_string(value) + ' ';
        input += '\n';
    }
    size_t observed = 0;
    for (const PlcProgramInfo &program : programs)
        observed += program.observed.size();
    QProcess process;
    process.start(dir + "/plcprogram", QStringList());
    process.write(input.data(), qint64(input.size()));
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(600000);
    if (!ended)
        process.kill();
    // Whole lines only: a crash may leave half of one.
    std::istringstream lines(process.readAllStandardOutput().toStdString());
    for (std::string line;
         observations->size() < scans.size() && std::getline(lines, line) && !lines.eof();) {
        std::istringstream in(line);
        PlcValues values(observed);
        for (std::int64_t &value : values)
            in >> value;
        if (!in || !(in >> std::ws).eof())
            break;
        observations->push_back(std::move(values));
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
