// The checks of a net: the cases of tests/data/checks.cases, net text in, the diagnostic lines
// that the user sees out, byte for byte.

#include "codegen/symbols.h"
#include "net/netcheck.h"
#include "net/netreader.h"
#include "run/conversion.h"
#include "tests/casefile.h"
#include "tests/plc/randomnet.h"
#include "tests/plc/simulator.h"

#include <QtTest>

using namespace trilette;

class TestChecks : public QObject
{
    Q_OBJECT

private slots:
    void cases_data();
    void cases();
    void corpus_data();
    void corpus();
    void priorityChain();
    void prioritiesClosed();
};

void TestChecks::cases_data()
{
    QTest::addColumn<QByteArray>("net");
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<QByteArray>("diagnostics");
    for (const TextCase &c : readCaseFile(TRILETTE_SOURCE_DIR "/tests/data/checks.cases"))
        QTest::newRow(qPrintable(c.name))
            << c.text("") << c.text("options") << c.text("diagnostics");
}

void TestChecks::cases()
{
    QFETCH(QByteArray, net);
    QFETCH(QByteArray, options);
    QFETCH(QByteArray, diagnostics);
    Net read;
    Diagnostics found;
    readNetText(net.toStdString(), "t.ndr", read, nullptr, &found);
    const bool strict = options.contains("strict");
    checkNet(read, "t.ndr", {strict, options.contains("timed")}, found);
    if (!strict)
        checkStNames(read, "t.ndr", found);
    found.sortByLine();
    QByteArray said;
    for (const Diagnostic &d : found.all())
        said += QByteArray::fromStdString(d.format()) + '\n';
    if (said != diagnostics)
        qDebug().noquote() << "ACTUAL:\n" + QString::fromUtf8(said);
    QCOMPARE(said, diagnostics);
}

// What `trilette-cli --check` says of every real net, each file named as it stands in the corpus
// folder: the golden files were read once by hand, every line true of its net.
void TestChecks::corpus_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("golden");
    QTest::newRow("st") << int(OutputFormat::St) << "check_st.txt";
    QTest::newRow("pou") << int(OutputFormat::Pou) << "check_pou.txt";
}

void TestChecks::corpus()
{
    QFETCH(int, format);
    QFETCH(QString, golden);
    const QDir corpus(QStringLiteral(TRILETTE_CORPUS_DIR));
    const QStringList files = corpus.entryList({QStringLiteral("*.ndr")}, QDir::Files, QDir::Name);
    if (files.isEmpty())
        QSKIP("pas de réseaux réels à côté du dépôt (../shared/corpus/ndr)");
    const std::string prefix = corpus.path().toStdString() + '/';
    QByteArray said;
    for (const QString &file : files) {
        ConversionJob job;
        job.netPath = prefix + file.toStdString();
        job.baseName = baseNameFor(file.toStdString());
        job.format = OutputFormat(format);
        job.checkOnly = true;
        const ConversionResult result = convertNet(job, nullptr);
        for (const Diagnostic &d : result.diagnostics.all()) {
            std::string line = d.format();
            if (line.compare(0, prefix.size(), prefix) == 0)
                line.erase(0, prefix.size());
            said += QByteArray::fromStdString(line) + '\n';
        }
    }
    QFile expected(TRILETTE_SOURCE_DIR "/tests/golden/corpus/" + golden);
    QVERIFY(expected.open(QIODevice::ReadOnly));
    const QByteArray wanted = expected.readAll();
    if (said != wanted)
        qDebug().noquote() << "ACTUAL:\n" + QString::fromUtf8(said);
    QCOMPARE(said, wanted);
}

// Priorities t1 > t2 > t3 where t2 cannot fire, t3 listed first: in the first scan t1 can fire,
// so t3, below it through t2, waits; in the second t1 has fired and t3 fires.
void TestChecks::priorityChain()
{
    Net net;
    readNetText("p 0 0 P1 1 n\np 0 0 P2 0 n\np 0 0 P3 1 n\n"
                "t 0 0 t3 c 0 w n\nt 0 0 t2 c 0 w n\nt 0 0 t1 c 0 w n\n"
                "e P3 t3 1 n\ne P2 t2 1 n\ne P1 t1 1 n\ne t1 t2 1 n\ne t2 t3 1 n\nh n\n",
                "t.ndr", net, nullptr, nullptr);
    Simulator reference(net, 1000);
    auto fired = [&] {
        std::string names;
        for (const Transition *t : reference.fired())
            names += std::string(t->name) + ' ';
        return names;
    };
    reference.scan(0, false);
    QCOMPARE(fired(), std::string("t1 "));
    reference.scan(50, false);
    QCOMPARE(fired(), std::string("t3 "));
    QVERIFY(reference.violations().empty());
}

// Whether a transition has priority over another, against the transitive closure of the arcs
// computed here (Warshall), on the random nets of the proof.
void TestChecks::prioritiesClosed()
{
    int chains = 0;
    for (uint32_t seed = 1; seed <= 400; ++seed) {
        Net net;
        readNetText(randomNet(seed), "t.ndr", net, nullptr, nullptr);
        const size_t n = net.transitionCount();
        std::vector<std::vector<bool>> above(n, std::vector<bool>(n, false));
        for (const PriorityArc *arc = net.priorities(); arc; arc = arc->next)
            above[arc->higher->index][arc->lower->index] = true;
        for (size_t k = 0; k < n; ++k)
            for (size_t i = 0; i < n; ++i)
                for (size_t j = 0; j < n; ++j)
                    if (above[i][k] && above[k][j] && !above[i][j]) {
                        above[i][j] = true;
                        chains += k != i && k != j;
                    }
        const Priorities priorities(net, "t.ndr", nullptr);
        for (size_t i = 0; i < n; ++i)
            for (size_t j = 0; j < n; ++j)
                QVERIFY2(priorities.above(net.transition(i), net.transition(j)) == above[i][j],
                         qPrintable(QString("graine %1, T%2 sur T%3").arg(seed).arg(i).arg(j)));
    }
    QVERIFY(chains > 0);
}

QTEST_APPLESS_MAIN(TestChecks)
#include "tst_checks.moc"
