// The writers on nets built in memory: what the golden files cannot show well.

#include "bench/hostile.h"
#include "codegen/plcopenwriter.h"
#include "codegen/pouwriter.h"
#include "codegen/structurelog.h"
#include "codegen/stwriter.h"
#include "net/netcheck.h"
#include "net/netreader.h"
#include "run/conversion.h"

#include <pugixml.hpp>

#include <QTextCodec>
#include <QtTest>

using namespace trilette;

namespace {

QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), int(text.size()));
}

/// Whether `text` is UTF-8 from end to end, as Qt's own decoder sees it, without the two
/// noncharacters that no XML may hold.
bool decodesWhole(std::string_view text)
{
    QTextCodec::ConverterState state;
    const QString decoded
        = QTextCodec::codecForName("UTF-8")->toUnicode(text.data(), int(text.size()), &state);
    return state.invalidChars == 0 && !decoded.contains(QChar(0xFFFE))
        && !decoded.contains(QChar(0xFFFF));
}

} // namespace

class TestCodegen : public QObject
{
    Q_OBJECT

private slots:
    void everyOutputWritten();
    void hostileShapesStayLinear_data();
    void hostileShapesStayLinear();
    void textsThatAreNoUtf8_data();
    void textsThatAreNoUtf8();
};

void TestCodegen::everyOutputWritten()
{
    // 120 places, each naming an output of its own and a shared one: no output is dropped past
    // any count, each is set once, the shared one from every place.
    Net net;
    for (int i = 1; i <= 120; ++i)
        net.prependAction(net.appendPlace("P" + std::to_string(i)),
                          "O" + std::to_string(i) + ";Shared");
    TextSink out;
    appendOutputBlock(net, out);
    const QByteArray text = bytes(out.text());
    for (int i = 1; i <= 120; ++i) {
        const QByteArray n = QByteArray::number(i);
        QCOMPARE(text.count("\nO" + n + " := (P" + n + "p >=1);\n"), 1);
        QCOMPARE(text.count(" OR (P" + n + "p >=1)") + text.count("Shared := (P" + n + "p >=1)"),
                 1);
    }
    QCOMPARE(text.count("\nShared := (P1p >=1) OR "), 1);
}

void TestCodegen::hostileShapesStayLinear_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("noted");
    // Sizes at which writing every term again in every block (or every diagnostic text again
    // for every piece) made hundreds of megabytes; their time is measured in bench/.
    QTest::newRow("priority chain, st") << "chain" << 15000 << int(OutputFormat::St) << false;
    QTest::newRow("priority chain, pou") << "chain" << 15000 << int(OutputFormat::Pou) << false;
    QTest::newRow("timers on one place, pou") << "timers" << 6000 << int(OutputFormat::Pou) << true;
    QTest::newRow("long label") << "label" << 100000 << int(OutputFormat::St) << false;
    QTest::newRow("long name, many outputs, st")
        << "outputs" << 8000 << int(OutputFormat::St) << false;
    // The complete program once inserted each output in a sorted list: 5 s for 60,000.
    QTest::newRow("long name, many outputs, pou")
        << "outputs" << 60000 << int(OutputFormat::Pou) << false;
    // More than 64 transitions on one place, ordered by priorities: no conflict to note.
    QTest::newRow("many on one place") << "fanin" << 3000 << int(OutputFormat::PlcOpen) << false;
    QTest::newRow("random priorities") << "random" << 20000 << int(OutputFormat::Pou) << false;
}

void TestCodegen::hostileShapesStayLinear()
{
    QFETCH(QString, shape);
    QFETCH(int, lines);
    QFETCH(int, format);
    QFETCH(bool, noted);
    bench::HostileShape kind;
    QVERIFY(bench::hostileShapeNamed(shape.toStdString(), kind));
    const std::string text = bench::generateHostileNet(kind, lines, 1);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ConversionJob job;
    job.netPath = dir.filePath("net.ndr").toStdString();
    job.outputDir = dir.path().toStdString();
    job.baseName = "net";
    job.format = OutputFormat(format);
    QFile net(QString::fromStdString(job.netPath));
    QVERIFY(net.open(QIODevice::WriteOnly));
    net.write(text.data(), qint64(text.size()));
    net.close();

    const ConversionResult result = convertNet(job, nullptr);
    QVERIFY(result.written);
    const qint64 written = QFileInfo(QString::fromStdString(result.logPath)).size()
        + QFileInfo(QString::fromStdString(result.programPath)).size();
    qint64 said = 0;
    bool conflict = false;
    for (const Diagnostic &d : result.diagnostics.all()) {
        said += qint64(d.format().size());
        conflict |= d.format().find("alimente") != std::string::npos;
    }
    // The bound of the fuzzer: a fixed multiple of the net, beyond the fixed headers.
    QVERIFY2(written <= 16 * qint64(text.size()) + 4096,
             qPrintable(QString("%1 octets écrits pour %2").arg(written).arg(text.size())));
    QVERIFY2(said <= 16 * qint64(text.size()) + 4096, qPrintable(QString::number(said)));
    QCOMPARE(conflict, noted);
}

void TestCodegen::textsThatAreNoUtf8_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("overlong, 2 bytes") << QByteArray("\xC0\xAF");
    QTest::newRow("overlong, 3 bytes") << QByteArray("\xE0\x80\xAF");
    QTest::newRow("overlong, 4 bytes") << QByteArray("\xF0\x80\x80\xAF");
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80");
    QTest::newRow("U+FFFE") << QByteArray("\xEF\xBF\xBE");
    QTest::newRow("U+FFFF") << QByteArray("\xEF\xBF\xBF");
    QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80");
    QTest::newRow("lead byte F5") << QByteArray("\xF5\x80\x80\x80");
    QTest::newRow("lone 0xFF") << QByteArray("\xFF");
    QTest::newRow("lone continuation byte") << QByteArray("\x80");
    QTest::newRow("sequence cut short") << QByteArray("\xE2\x82x");
}

// Bytes that are no UTF-8 in names reach no output and no message: the PLCopen document parses
// and, like the complete program and every message, is UTF-8 from end to end.
void TestCodegen::textsThatAreNoUtf8()
{
    QFETCH(QByteArray, bytes);
    const std::string name = "Cuve " + bytes.toStdString();
    const std::string text = "p 1 2 {" + name + "} 1 n {[Sortie" + bytes.toStdString()
        + "]} e\nt 1 2 T c 3 w n {[go;]} e\ne {" + name + "} T 1 n\nh\n";
    Net net;
    Diagnostics diagnostics;
    readNetText(text, "t.ndr", net, nullptr, &diagnostics);
    checkNet(net, "t.ndr", {true, true}, diagnostics);
    const ProgramSymbols symbols(net, "Reseau", TimeUnit::Seconds, "t.ndr", diagnostics);
    QVERIFY(!diagnostics.hasErrors());
    TextSink xml, pou;
    writePlcOpen(net, symbols, "t.ndr", xml);
    writePou(net, symbols, "t.ndr", pou);
    pugi::xml_document document;
    QVERIFY(document.load_buffer(xml.text().data(), xml.text().size()));
    QVERIFY(decodesWhole(xml.text()));
    QVERIFY(decodesWhole(pou.text()));
    QVERIFY(!diagnostics.empty());
    for (const Diagnostic &d : diagnostics.all())
        QVERIFY2(decodesWhole(d.format()), d.format().c_str());
}

QTEST_APPLESS_MAIN(TestCodegen)
#include "tst_codegen.moc"
