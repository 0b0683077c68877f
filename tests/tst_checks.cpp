// The checks of a net: the cases of tests/data/checks.cases, net text in, the diagnostic lines
// that the user sees out, byte for byte.

#include "net/netcheck.h"
#include "net/netreader.h"
#include "tests/casefile.h"

#include <QtTest>

using namespace trilette;

class TestChecks : public QObject
{
    Q_OBJECT

private slots:
    void cases_data();
    void cases();
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
    checkNet(read, "t.ndr", {options.contains("strict"), options.contains("timed")}, found);
    found.sortByLine();
    QByteArray said;
    for (const Diagnostic &d : found.all())
        said += QByteArray::fromStdString(d.format()) + '\n';
    if (said != diagnostics)
        qDebug().noquote() << "ACTUAL:\n" + QString::fromUtf8(said);
    QCOMPARE(said, diagnostics);
}

QTEST_APPLESS_MAIN(TestChecks)
#include "tst_checks.moc"
