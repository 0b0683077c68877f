// The checks of a net: the cases of tests/data/checks.cases, net text in, the diagnostic lines
// that the user sees out, byte for byte.

#include "codegen/symbols.h"
#include "net/netcheck.h"
#include "net/netreader.h"
#include "run/conversion.h"
#include "tests/casefile.h"

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

QTEST_APPLESS_MAIN(TestChecks)
#include "tst_checks.moc"
