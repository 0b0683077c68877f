// The writers on nets built in memory: what the golden files cannot show well.

#include "codegen/structurelog.h"
#include "codegen/stwriter.h"

#include <QtTest>

using namespace trilette;

namespace {

QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), int(text.size()));
}

} // namespace

class TestCodegen : public QObject
{
    Q_OBJECT

private slots:
    void everyOutputWritten();
};

void TestCodegen::everyOutputWritten()
{
    // 120 places naming an output of their own and a shared one: 240 names, 121 outputs.
    Net net;
    std::string own, shared = "Shared := (P1p >=1)";
    for (int i = 1; i <= 120; ++i) {
        const std::string n = std::to_string(i);
        net.prependAction(net.appendPlace("P" + n), "O" + n + ";Shared");
        if (i > 1) {
            own += "O" + n + " := (P" + n + "p >=1);\n";
            shared += " OR (P" + n + "p >=1)";
        }
    }
    TextSink out;
    appendOutputBlock(net, out);
    QCOMPARE(bytes(out.text()),
             bytes("\n(*-------BLOC G------------*)\n\nO1 := (P1p >=1);\n" + shared + ";\n" + own
                   + "\nEND_IF;\n\n"));
}

QTEST_APPLESS_MAIN(TestCodegen)
#include "tst_codegen.moc"
