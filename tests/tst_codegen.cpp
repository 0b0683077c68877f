// The writers on names that are no UTF-8, which the golden files cannot hold well.

#include "codegen/plcopenwriter.h"
#include "codegen/pouwriter.h"
#include "net/netcheck.h"
#include "net/netreader.h"

#include <pugixml.hpp>

#include <QTextCodec>
#include <QtTest>

using namespace trilette;

class TestCodegen : public QObject
{
    Q_OBJECT

private slots:
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
            std::vector<std::string> texts {std::string(xml.text()), std::string(pou.text())};
            for (const Diagnostic &d : diagnostics.all())
                texts.push_back(d.format());
            for (const std::string &t : texts) {
                // UTF-8 from end to end, as Qt's decoder sees it, without the two noncharacters
                // that no XML may hold.
                QTextCodec::ConverterState state;
                const QString decoded
                    = QTextCodec::codecForName("UTF-8")->toUnicode(t.data(), int(t.size()), &state);
                QVERIFY2(state.invalidChars == 0 && !decoded.contains(QChar(0xFFFE))
                             && !decoded.contains(QChar(0xFFFF)),
                         t.c_str());
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestCodegen)
#include "tst_codegen.moc"
