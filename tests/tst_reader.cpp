// Reading .ndr text into the net: the cases of tests/data/reader.cases (traces byte for byte, the
// net through its dump), and what a text file cannot show.

#include "net/netreader.h"
#include "tests/casefile.h"
#include "tests/netdump.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace trilette;

namespace {

QByteArray bytes(std::string_view s)
{
    return QByteArray(s.data(), int(s.size()));
}

} // namespace

class TestReader : public QObject
{
    Q_OBJECT

private slots:
    void cases_data();
    void cases();
    void longLinesAreReadWhole();
    void fileReadsAsText_data();
    void fileReadsAsText();
    void millionRecords();
};

void TestReader::cases_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("net");
    QTest::addColumn<bool>("hasTraces");
    QTest::addColumn<QByteArray>("traces");
    QTest::addColumn<QByteArray>("diagnostics");
    for (const TextCase &c : readCaseFile(TRILETTE_SOURCE_DIR "/tests/data/reader.cases")) {
        QTest::newRow(qPrintable(c.name))
            << c.text("") << c.text("net") << (c.find("traces") != nullptr) << c.text("traces")
            << c.text("diagnostics");
    }
}

void TestReader::cases()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, net);
    QFETCH(QByteArray, traces);
    QFETCH(bool, hasTraces);
    QFETCH(QByteArray, diagnostics);
    Net read;
    TextSink seen;
    Diagnostics reported;
    QCOMPARE(readNetText(std::string_view(input.constData(), size_t(input.size())), "t.ndr", read,
                         &seen, &reported),
             ReadResult::Done);
    QCOMPARE(bytes(dumpNet(read)), net);
    if (hasTraces)
        QCOMPARE(bytes(seen.text()), traces);
    // Every case lacks its end line, which is said last; the cases check what comes before.
    QByteArray said;
    for (const Diagnostic &d : reported.all())
        if (d.message.find("ligne de fin") == std::string::npos
            && d.message != "aucune place ni transition")
            said += QByteArray::fromStdString(d.format()) + '\n';
    if (said != diagnostics)
        qDebug().noquote() << "ACTUAL:\n" + QString::fromUtf8(said);
    QCOMPARE(said, diagnostics);
}

void TestReader::longLinesAreReadWhole()
{
    const std::string name(5000, 'N');
    const std::string text = "t 1 2 " + name + " 0 w n x {[" + std::string(3000, 'a') + ";"
        + std::string(3000, 'b') + "]} y\np 1 2 " + name + " 1 n {[" + std::string(300, 'c')
        + "]}\ne " + name + " " + name + " 1 n\n";
    Net net;
    readNetText(text, "t.ndr", net, nullptr);
    QCOMPARE(bytes(dumpNet(net)),
             bytes("P " + name + " m=1 n=1 a=[" + std::string(300, 'c') + "]\nT " + name + " p=["
                   + std::string(3000, 'a') + "] a=[" + std::string(3000, 'b') + "] in=0[] out=1[1*"
                   + name + "]\n"));
}

// A file is read in blocks, cut into lines on a second thread: it must read exactly as the same
// text given whole (tst_readerthreads reads texts of many blocks).
void TestReader::fileReadsAsText_data()
{
    QTest::addColumn<QByteArray>("text");
    for (const TextCase &c : readCaseFile(TRILETTE_SOURCE_DIR "/tests/data/reader.cases"))
        if (!c.text("").contains('\0'))
            QTest::newRow(qPrintable("case: " + c.name)) << c.text("");
}

void TestReader::fileReadsAsText()
{
    QFETCH(QByteArray, text);
    QTemporaryDir dir;
    const std::string path = dir.filePath("t.ndr").toStdString();
    QFile file(QString::fromStdString(path));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    file.close();
    Net net[2];
    TextSink traces[2];
    Diagnostics diagnostics[2];
    QCOMPARE(readNetFile(path, net[0], &traces[0], &diagnostics[0]), ReadResult::Done);
    QCOMPARE(readNetText(std::string_view(text.constData(), size_t(text.size())), path, net[1],
                         &traces[1], &diagnostics[1]),
             ReadResult::Done);
    QVERIFY(dumpNet(net[0]) == dumpNet(net[1]));
    QVERIFY(traces[0].text() == traces[1].text());
    std::string said[2];
    for (int i = 0; i < 2; ++i)
        for (const Diagnostic &d : diagnostics[i].all())
            said[i] += d.format() + '\n';
    QVERIFY(said[0] == said[1]);
}

void TestReader::millionRecords()
{
    // Building and releasing a long net must not recurse along the `next` links.
    std::string text;
    for (int i = 0; i < 1000000; ++i)
        text += "p 0 0 P 1 n\n";
    Net net;
    QCOMPARE(readNetText(text, "big.ndr", net, nullptr), ReadResult::Done);
    QCOMPARE(net.placeCount(), size_t(1000000));
}

QTEST_APPLESS_MAIN(TestReader)
#include "tst_reader.moc"
