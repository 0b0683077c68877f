// The runner under the proof, on what its verdicts rest on: TON timing, several instances in one
// configuration, a crash that stops the run, each run starting afresh, and a failed build that
// leaves no earlier program to run. Skipped when the matiec folder is not beside the checkout.

#include "tests/plc/plcrunner.h"

#include <QtTest>

using namespace trilette;

namespace {

const std::string matiecDir = TRILETTE_MATIEC_DIR;

// Two TONs, one input and two outputs; a counter; a division that crashes when d is 0.
const char minuterie[] = "PROGRAM minuterie\nVAR_INPUT go : BOOL; END_VAR\n"
                         "VAR_OUTPUT fini : BOOL; court : BOOL; END_VAR\n"
                         "VAR T1_horloge : TON; T2_horloge : TON; END_VAR\n"
                         "T1_horloge(IN := go, PT := T#5s);\nT2_horloge(IN := go, PT := T#250ms);\n"
                         "fini := T1_horloge.Q;\ncourt := T2_horloge.Q;\nEND_PROGRAM\n";
const char compteur[]
    = "PROGRAM compteur\nVAR_OUTPUT n : DINT; END_VAR\nn := n + 1;\nEND_PROGRAM\n";
const char diviseur[] = "PROGRAM diviseur\nVAR_INPUT d : DINT; END_VAR\n"
                        "VAR_OUTPUT q : DINT; END_VAR\nq := 100 / d;\nEND_PROGRAM\n";

/// The words of `text` split at spaces (Qt 5.11 has no Qt::SkipEmptyParts).
QStringList words(const QString &text)
{
    const QString simple = text.simplified();
    return simple.isEmpty() ? QStringList() : simple.split(' ');
}

/// "instance0 diviseur | d:d | q:d": the instance, its type, its inputs and the observed
/// variables (b for BOOL, d for DINT).
std::vector<PlcProgramInfo> programs(const QStringList &descriptions)
{
    std::vector<PlcProgramInfo> list;
    for (const QString &description : descriptions) {
        const QStringList parts = description.split('|'), names = words(parts[0]);
        list.push_back({names[1].toStdString(), names[0].toStdString(), {}, {}});
        for (int side = 1; side <= 2; ++side)
            for (const QString &item : words(parts[side]))
                (side == 1 ? list.back().inputs : list.back().observed)
                    .push_back({item.section(':', 0, 0).toStdString(),
                                item.endsWith(":d") ? PlcVariable::Dint : PlcVariable::Bool});
    }
    return list;
}

/// The POUs followed by a configuration running every instance of `infos` in one task.
std::string unit(const QByteArray &pous, const std::vector<PlcProgramInfo> &infos)
{
    std::string text = pous.toStdString()
        + "\nCONFIGURATION config\nRESOURCE resource1 ON PLC\n"
          "TASK task0(INTERVAL := T#20ms, PRIORITY := 0);\n";
    for (const PlcProgramInfo &program : infos)
        text += "PROGRAM " + program.instanceName + " WITH task0 : " + program.programType + ";\n";
    return text + "END_RESOURCE\nEND_CONFIGURATION\n";
}

/// "time | inputs of the first program | inputs of the second...", one scan a line.
std::vector<PlcScan> scans(const QStringList &lines)
{
    std::vector<PlcScan> list;
    for (const QString &line : lines) {
        const QStringList parts = line.split('|');
        list.push_back({parts[0].trimmed().toLongLong(), {}});
        for (int p = 1; p < parts.size(); ++p) {
            list.back().inputs.emplace_back();
            for (const QString &value : words(parts[p]))
                list.back().inputs.back().push_back(value.toLongLong());
        }
    }
    return list;
}

/// Builds `pous` for `instances`, runs `scanLines` and gives one line a scan ("n=1 | q=20",
/// programs in order), then the error if the run failed.
QString buildAndRun(PlcRunner &runner, const QByteArray &pous, const QStringList &instances,
                    const QStringList &scanLines)
{
    const std::vector<PlcProgramInfo> infos = programs(instances);
    std::string message;
    if (!runner.build(unit(pous, infos), "resource1", infos, &message))
        return QString::fromStdString("build: " + message);
    std::vector<PlcObservation> observations;
    const bool ran = runner.run(scans(scanLines), &observations, &message);
    QString text;
    for (const PlcObservation &observation : observations) {
        QStringList perProgram;
        for (size_t p = 0; p < infos.size(); ++p) {
            QStringList values;
            for (size_t i = 0; i < infos[p].observed.size(); ++i)
                values << QString::fromStdString(infos[p].observed[i].name) + '='
                        + QString::number(observation[p][i]);
            perProgram << values.join(' ');
        }
        text += perProgram.join(QStringLiteral(" | ")) + '\n';
    }
    return ran ? text : text + QString::fromStdString(message);
}

} // namespace

class TestPlcRunner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void runs_data();
    void runs();
    void runsAgainFromTheStart();
    void failedBuildLeavesNothingToRun();
};

void TestPlcRunner::initTestCase()
{
    std::string why;
    if (!plcToolsAvailable(matiecDir, &why))
        QSKIP(qPrintable(QString::fromStdString("matiec cannot run: " + why)));
}

void TestPlcRunner::runs_data()
{
    QTest::addColumn<QByteArray>("pous");
    QTest::addColumn<QStringList>("instances");
    QTest::addColumn<QStringList>("scanLines");
    QTest::addColumn<QString>("observed");
    // The timer takes its start at the scan where IN rises and is done at the first scan
    // where at least PT has passed since.
    QTest::newRow("TON: Q rises exactly when 5 s or 250 ms have passed, falls with IN")
        << QByteArray(minuterie)
        << QStringList {"instance0 minuterie | go:b | fini:b T1_horloge.Q:b court:b"}
        << QStringList {"0 | 0",    "1000 | 1", "1249 | 1", "1250 | 1",  "5999 | 1", "6000 | 1",
                        "6001 | 1", "7000 | 0", "8000 | 1", "12999 | 1", "13000 | 1"}
        << "fini=0 T1_horloge.Q=0 court=0\nfini=0 T1_horloge.Q=0 court=0\n"
           "fini=0 T1_horloge.Q=0 court=0\nfini=0 T1_horloge.Q=0 court=1\n"
           "fini=0 T1_horloge.Q=0 court=1\nfini=1 T1_horloge.Q=1 court=1\n"
           "fini=1 T1_horloge.Q=1 court=1\nfini=0 T1_horloge.Q=0 court=0\n"
           "fini=0 T1_horloge.Q=0 court=0\nfini=0 T1_horloge.Q=0 court=1\n"
           "fini=1 T1_horloge.Q=1 court=1\n";
    QTest::newRow("two program types, three instances, inputs and outputs kept apart")
        << QByteArray(diviseur) + compteur + minuterie
        << QStringList {"instance0 diviseur | d:d | q:d", "instance1 minuterie | go:b | fini:b",
                        "instance2 diviseur | d:d | q:d"}
        << QStringList {"0 | 5 | 1 | 50", "3000 | -7 | 1 | 4", "5000 | 1 | 1 | 3"}
        << "q=20 | fini=0 | q=2\nq=-14 | fini=0 | q=25\nq=100 | fini=1 | q=33\n";
    QTest::newRow("a division by zero stops the program at its scan")
        << QByteArray(diviseur) << QStringList {"instance0 diviseur | d:d | q:d"}
        << QStringList {"0 | 5", "20 | -7", "40 | 0", "60 | 1"}
        << "q=20\nq=-14\nthe program stopped at scan 2: it crashed";
}

void TestPlcRunner::runs()
{
    QFETCH(QByteArray, pous);
    QFETCH(QStringList, instances);
    QFETCH(QStringList, scanLines);
    QFETCH(QString, observed);
    PlcRunner runner(matiecDir);
    QCOMPARE(buildAndRun(runner, pous, instances, scanLines), observed);
}

void TestPlcRunner::runsAgainFromTheStart()
{
    PlcRunner runner(matiecDir);
    QCOMPARE(buildAndRun(runner, compteur, {"instance0 compteur | | n:d"}, {"0 |", "0 |"}),
             QStringLiteral("n=1\nn=2\n"));
    std::vector<PlcObservation> again;
    std::string message;
    QVERIFY(runner.run(scans({"0 |"}), &again, &message));
    QCOMPARE(again, std::vector<PlcObservation>({{{1}}}));
}

void TestPlcRunner::failedBuildLeavesNothingToRun()
{
    // A build refused by iec2c, then one refused by the C compiler, each after a good one: the
    // earlier program must not run in its place.
    PlcRunner runner(matiecDir);
    const QString compteurN = "instance0 compteur | | n:d";
    const std::tuple<QByteArray, QString, QString> refused[]
        = {{QByteArray(compteur).replace("n + 1", ""), compteurN, "build: iec2c: unit.st:"},
           {compteur, "instance0 compteur | | nothere:d", "build: C compiler: "}};
    for (const auto &[pous, instance, said] : refused) {
        QCOMPARE(buildAndRun(runner, compteur, {compteurN}, {"0 |"}), QStringLiteral("n=1\n"));
        const QString built = buildAndRun(runner, pous, {instance}, {});
        QVERIFY2(built.startsWith(said), qPrintable(built));
        std::vector<PlcObservation> observations;
        std::string message;
        QVERIFY(!runner.run(scans({"0 |"}), &observations, &message));
        QCOMPARE(message, std::string("nothing built"));
    }
}

QTEST_APPLESS_MAIN(TestPlcRunner)
#include "tst_plcrunner.moc"
