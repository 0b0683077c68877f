// Golden files, written by hand: each tests/golden/<case>.ndr is converted to the statement list,
// those of tests/golden/pou/ to a complete POU and those of tests/golden/plcopen/ to PLCopen XML;
// the traces, the diagnostics, the structure log and the program are compared byte for byte
// with <case>.out, <case>.err (absent when nothing is said), <case>.log and the program's file,
// and nothing else is written. Then names that are no UTF-8, which no golden file holds well.

#include "codegen/plcopenwriter.h"
#include "codegen/pouwriter.h"
#include "net/netcheck.h"
#include "net/netreader.h"
#include "run/conversion.h"

#include <pugixml.hpp>

#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

using namespace trilette;

class TestGolden : public QObject
{
    Q_OBJECT

private slots:
    void conversion_data()
    {
        // PLCopen XML carries its creation time: a fixed one keeps the files comparable.
        qputenv("SOURCE_DATE_EPOCH", "0");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        for (const char *folder : {"", "/pou", "/plcopen"}) {
            const QDir dir(TRILETTE_SOURCE_DIR "/tests/golden" + QString(folder));
            for (const QString &net : dir.entryList({"*.ndr"}, QDir::Files, QDir::Name))
                QTest::newRow(qPrintable(folder + net)) << dir.path() << net.chopped(4);
        }
    }

    void conversion()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        // Nets are named relative to their folder, so that what names the file stays the same
        // wherever the sources are.
        QVERIFY(QDir::setCurrent(folder));
        const auto readAll = [](const QString &path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTemporaryDir out;
        const std::string net = QFile::encodeName(name + ".ndr").toStdString();
        ConversionJob job {net, QFile::encodeName(out.path()).toStdString(), baseNameFor(net)};
        job.format = folder.endsWith("/pou") ? OutputFormat::Pou
            : folder.endsWith("/plcopen")    ? OutputFormat::PlcOpen
                                             : OutputFormat::St;
        TextSink trace;
        const ConversionResult result = convertNet(job, &trace);
        QByteArray diagnostics;
        for (const Diagnostic &diagnostic : result.diagnostics.all())
            diagnostics += QByteArray::fromStdString(diagnostic.format()) + '\n';
        const QString program
            = QString::fromStdString(programFileName(name.toStdString(), job.format));
        const std::pair<QByteArray, QString> outputs[] = {
            {QByteArray(trace.text().data(), int(trace.text().size())), name + ".out"},
            {diagnostics, name + ".err"},
            {readAll(out.filePath(name + ".log")), name + ".log"},
            {readAll(out.filePath(program)), program},
        };
        for (const auto &[actual, golden] : outputs) {
            // Where the texts part, line by line, with the golden file's name.
            const QByteArrayList got = actual.split('\n'), want = readAll(golden).split('\n');
            int line = 0;
            while (line < got.size() && line < want.size() && got[line] == want[line])
                ++line;
            const QByteArray at = golden.toUtf8() + ':' + QByteArray::number(line + 1) + ": ";
            QCOMPARE(at + got.value(line, "(fin)"), at + want.value(line, "(fin)"));
        }
        QCOMPARE(QDir(out.path())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
                 QStringList({name + ".log", program}));
    }

    // Bytes that are no UTF-8 in names reach no output and no message: the PLCopen document
    // parses and, like the complete program and every message, is UTF-8 from end to end.
    void textsThatAreNoUtf8()
    {
        // Overlong forms, a surrogate, U+FFFE and U+FFFF, above U+10FFFF, lead byte F5, lone
        // bytes, a sequence cut short.
        for (const char *bytes : {"\xC0\xAF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xED\xA0\x80",
                                  "\xEF\xBF\xBE", "\xEF\xBF\xBF", "\xF4\x90\x80\x80",
                                  "\xF5\x80\x80\x80", "\xFF", "\x80", "\xE2\x82x"}) {
            const std::string name = "Cuve " + std::string(bytes);
            const std::string text = "p 1 2 {" + name + "} 1 n {[Sortie" + bytes
                + "]} e\nt 1 2 T c 3 w n {[go;]} e\ne {" + name + "} T 1 n\nh\n";
            Net net;
            Diagnostics diagnostics;
            readNetText(text, "t.ndr", net, nullptr, &diagnostics);
            checkNet(net, "t.ndr", {true, true}, diagnostics);
            const ProgramSymbols symbols(net, "Reseau", TimeUnit::Seconds, "t.ndr", diagnostics);
            QVERIFY(!diagnostics.hasErrors() && !diagnostics.empty());
            TextSink xml, pou;
            writePlcOpen(net, symbols, "t.ndr", xml);
            writePou(net, symbols, "t.ndr", pou);
            pugi::xml_document document;
            QVERIFY(document.load_buffer(xml.text().data(), xml.text().size()));
            // UTF-8 from end to end, as Qt's decoder sees it, without the two noncharacters that
            // no XML may hold.
            std::string all = std::string(xml.text()) + std::string(pou.text());
            for (const Diagnostic &d : diagnostics.all())
                all += d.format();
            QTextCodec::ConverterState state;
            const QString decoded
                = QTextCodec::codecForName("UTF-8")->toUnicode(all.data(), int(all.size()), &state);
            QVERIFY2(state.invalidChars == 0 && !decoded.contains(QChar(0xFFFE))
                         && !decoded.contains(QChar(0xFFFF)),
                     all.c_str());
        }
    }
};

QTEST_APPLESS_MAIN(TestGolden)
#include "tst_golden.moc"
