// The runner that compiles ST programs with matiec and runs them scan by scan: hand-written
// programs whose every scan is known, and the failures it must report. Skipped when the matiec
// folder is not beside the checkout.

#include "tests/plc/plcrunner.h"

#include <QtTest>

using namespace trilette;

namespace {

const std::string matiecDir = TRILETTE_MATIEC_DIR;

const char lampe[] = R"(PROGRAM lampe
VAR_INPUT
    INIT : BOOL;
    start : BOOL;
END_VAR
VAR_OUTPUT
    Lamp : BOOL;
END_VAR
VAR
    P1p : DINT := 1;
    P2p : DINT := 0;
END_VAR
IF (INIT) THEN
    P1p := 1;
    P2p := 0;
ELSE
    IF (start AND P1p >= 1) THEN
        P1p := P1p - 1;
        P2p := P2p + 1;
    END_IF;
END_IF;
Lamp := P2p >= 1;
END_PROGRAM
)";

const char minuterie[] = R"(PROGRAM minuterie
VAR_INPUT
    go : BOOL;
END_VAR
VAR_OUTPUT
    fini : BOOL;
    court : BOOL;
END_VAR
VAR
    T1_horloge : TON;
    T2_horloge : TON;
END_VAR
T1_horloge(IN := go, PT := T#5s);
T2_horloge(IN := go, PT := T#250ms);
fini := T1_horloge.Q;
court := T2_horloge.Q;
END_PROGRAM
)";

const char compteur[] = R"(PROGRAM compteur
VAR_OUTPUT
    n : DINT;
END_VAR
n := n + 1;
END_PROGRAM
)";

const char diviseur[] = R"(PROGRAM diviseur
VAR_INPUT
    d : DINT;
END_VAR
VAR_OUTPUT
    q : DINT;
END_VAR
q := 100 / d;
END_PROGRAM
)";

/// The words of `text` split at spaces (Qt 5.11 has no Qt::SkipEmptyParts).
QStringList words(const QString &text)
{
    const QString simple = text.simplified();
    return simple.isEmpty() ? QStringList() : simple.split(' ');
}

std::vector<PlcVariable> variables(const QString &declared)
{
    std::vector<PlcVariable> list;
    for (const QString &item : words(declared)) {
        const QStringList parts = item.split(':');
        list.push_back({parts[0].toStdString(),
                        parts.value(1) == "d" ? PlcVariable::Dint : PlcVariable::Bool});
    }
    return list;
}

/// "instance0 lampe | INIT:b start:b | P1p:d Lamp:b": the instance, its type, its inputs and
/// the observed variables (b for BOOL, d for DINT).
std::vector<PlcProgramInfo> programs(const QStringList &descriptions)
{
    std::vector<PlcProgramInfo> list;
    for (const QString &description : descriptions) {
        const QStringList parts = description.split('|');
        const QStringList names = words(parts[0]);
        list.push_back({names[1].toStdString(), names[0].toStdString(), variables(parts[1]),
                        variables(parts[2])});
    }
    return list;
}

/// The POUs followed by a configuration running every instance of `infos` in one task.
std::string unit(const QByteArray &pous, const std::vector<PlcProgramInfo> &infos)
{
    std::string text = pous.toStdString() + "\nCONFIGURATION config\n"
        + "    RESOURCE resource1 ON PLC\n"
        + "        TASK task0(INTERVAL := T#20ms, PRIORITY := 0);\n";
    for (const PlcProgramInfo &program : infos)
        text += "        PROGRAM " + program.instanceName + " WITH task0 : " + program.programType
            + ";\n";
    return text + "    END_RESOURCE\nEND_CONFIGURATION\n";
}

/// "time | inputs of the first program | inputs of the second...", one scan a line.
std::vector<PlcScan> scans(const QStringList &lines)
{
    std::vector<PlcScan> list;
    for (const QString &line : lines) {
        const QStringList parts = line.split('|');
        PlcScan scan;
        scan.timeMs = parts[0].trimmed().toLongLong();
        for (int p = 1; p < parts.size(); ++p) {
            scan.inputs.emplace_back();
            for (const QString &value : words(parts[p]))
                scan.inputs.back().push_back(value.toLongLong());
        }
        list.push_back(scan);
    }
    return list;
}

/// One line a scan: "P1p=1 Lamp=0 | fini=0", programs in order.
QString dump(const std::vector<PlcProgramInfo> &infos,
             const std::vector<PlcObservation> &observations)
{
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
    return text;
}

} // namespace

class TestPlcRunner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void runs_data();
    void runs();
    void refused_data();
    void refused();
    void runsAgainFromTheStart();
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
    QTest::addColumn<QString>("error");

    const QString lamp = "instance0 lampe | INIT:b start:b | P1p:d P2p:d Lamp:b";
    QTest::newRow("lamp: start moves the token once, INIT puts it back")
        << QByteArray(lampe) << QStringList {lamp}
        << QStringList {"0 | 0 0", "20 | 0 1", "40 | 0 0", "60 | 0 1", "80 | 1 1", "100 | 0 1"}
        << "P1p=1 P2p=0 Lamp=0\n"
           "P1p=0 P2p=1 Lamp=1\n"
           "P1p=0 P2p=1 Lamp=1\n"
           "P1p=0 P2p=1 Lamp=1\n"
           "P1p=1 P2p=0 Lamp=0\n"
           "P1p=0 P2p=1 Lamp=1\n"
        << QString();
    // The timer takes its start at the scan where IN rises and is done at the first scan
    // where at least PT has passed since.
    QTest::newRow("TON: Q rises exactly when 5 s or 250 ms have passed, falls with IN")
        << QByteArray(minuterie)
        << QStringList {"instance0 minuterie | go:b | fini:b T1_horloge.Q:b court:b"}
        << QStringList {"0 | 0",    "1000 | 1", "1249 | 1", "1250 | 1",  "5999 | 1", "6000 | 1",
                        "6001 | 1", "7000 | 0", "8000 | 1", "12999 | 1", "13000 | 1"}
        << "fini=0 T1_horloge.Q=0 court=0\n"
           "fini=0 T1_horloge.Q=0 court=0\n"
           "fini=0 T1_horloge.Q=0 court=0\n"
           "fini=0 T1_horloge.Q=0 court=1\n"
           "fini=0 T1_horloge.Q=0 court=1\n"
           "fini=1 T1_horloge.Q=1 court=1\n"
           "fini=1 T1_horloge.Q=1 court=1\n"
           "fini=0 T1_horloge.Q=0 court=0\n"
           "fini=0 T1_horloge.Q=0 court=0\n"
           "fini=0 T1_horloge.Q=0 court=1\n"
           "fini=1 T1_horloge.Q=1 court=1\n"
        << QString();
    QTest::newRow("two program types, three instances, one configuration")
        << QByteArray(lampe) + "\n" + minuterie
        << QStringList {lamp, "instance1 minuterie | go:b | fini:b",
                        "instance2 lampe | INIT:b start:b | P1p:d P2p:d Lamp:b"}
        << QStringList {"0 | 0 0 | 1 | 0 1", "3000 | 0 1 | 1 | 0 0", "5000 | 0 0 | 1 | 1 0"}
        << "P1p=1 P2p=0 Lamp=0 | fini=0 | P1p=0 P2p=1 Lamp=1\n"
           "P1p=0 P2p=1 Lamp=1 | fini=0 | P1p=0 P2p=1 Lamp=1\n"
           "P1p=0 P2p=1 Lamp=1 | fini=1 | P1p=1 P2p=0 Lamp=0\n"
        << QString();
    QTest::newRow("no inputs: one count a scan")
        << QByteArray(compteur) << QStringList {"instance0 compteur | | n:d"}
        << QStringList {"0 |", "0 |", "40 |"} << "n=1\nn=2\nn=3\n"
        << QString();
    QTest::newRow("a division by zero stops the program at its scan")
        << QByteArray(diviseur) << QStringList {"instance0 diviseur | d:d | q:d"}
        << QStringList {"0 | 5", "20 | -7", "40 | 0", "60 | 1"} << "q=20\nq=-14\n"
        << "the program stopped at scan 2: it crashed";
}

void TestPlcRunner::runs()
{
    QFETCH(QByteArray, pous);
    QFETCH(QStringList, instances);
    QFETCH(QStringList, scanLines);
    QFETCH(QString, observed);
    QFETCH(QString, error);

    const std::vector<PlcProgramInfo> infos = programs(instances);
    PlcRunner runner(matiecDir);
    std::string message;
    QVERIFY2(runner.build(unit(pous, infos), "resource1", infos, &message), message.c_str());
    std::vector<PlcObservation> observations;
    QCOMPARE(runner.run(scans(scanLines), &observations, &message), error.isEmpty());
    QCOMPARE(dump(infos, observations), observed);
    QCOMPARE(QString::fromStdString(message), error);
}

void TestPlcRunner::refused_data()
{
    QTest::addColumn<QByteArray>("pous");
    QTest::addColumn<QStringList>("instances");
    QTest::addColumn<QString>("error");

    const QString lamp = "instance0 lampe | INIT:b start:b | P1p:d Lamp:b";
    QTest::newRow("iec2c: IF without a statement")
        << QByteArray(lampe).replace("        P1p := P1p - 1;\n        P2p := P2p + 1;\n", "")
        << QStringList {lamp}
        << "iec2c: unit.st:17: error: no statement defined after 'THEN' in ST 'IF' "
           "statement.\n\n1 error(s) found. Bailing out!\n";
    QTest::newRow("C compiler: an observed variable the program lacks")
        << QByteArray(lampe) << QStringList {"instance0 lampe | INIT:b | nothere:d"}
        << "C compiler: driver.c:35:54: error: 'LAMPE' has no member named 'NOTHERE'\n";
    QTest::newRow("a variable name that is no identifier")
        << QByteArray(lampe) << QStringList {"instance0 lampe | INIT:b | P1p:d Lamp);:b"}
        << "invalid variable name: Lamp);";
}

void TestPlcRunner::refused()
{
    QFETCH(QByteArray, pous);
    QFETCH(QStringList, instances);
    QFETCH(QString, error);

    const std::vector<PlcProgramInfo> infos = programs(instances);
    PlcRunner runner(matiecDir);
    std::string message;
    QVERIFY(!runner.build(unit(pous, infos), "resource1", infos, &message));
    QCOMPARE(QString::fromStdString(message), error);
    std::vector<PlcObservation> observations;
    QVERIFY(!runner.run(scans({"0 | 0"}), &observations, &message));
    QCOMPARE(QString::fromStdString(message), QStringLiteral("nothing built"));
}

void TestPlcRunner::runsAgainFromTheStart()
{
    const std::vector<PlcProgramInfo> infos = programs({"instance0 compteur | | n:d"});
    PlcRunner runner(matiecDir);
    std::string message;
    QVERIFY2(runner.build(unit(compteur, infos), "resource1", infos, &message), message.c_str());
    std::vector<PlcObservation> first, second;
    QVERIFY(runner.run(scans({"0 |", "0 |"}), &first, &message));
    QVERIFY(runner.run(scans({"0 |"}), &second, &message));
    QCOMPARE(dump(infos, first) + dump(infos, second), QStringLiteral("n=1\nn=2\nn=1\n"));
}

QTEST_APPLESS_MAIN(TestPlcRunner)
#include "tst_plcrunner.moc"
