// The spelling that the st format's warnings quote for a name that cannot compile: worked out
// for a few names only, it must be the one the complete program gives when it names them all.

#include "codegen/symbols.h"
#include "net/netreader.h"

#include <QtTest>

#include <algorithm>
#include <random>

using namespace trilette;

class TestNames : public QObject
{
    Q_OBJECT

private slots:
    void stWarningsQuoteTheCompleteSpelling();
    void numbersInTurn();
};

// Nets of a few places, outputs and arc-only places, named from a set that meets in every way
// the renaming rule knows: case, blanks, _2, a place's p and s, reserved words, leading digits.
void TestNames::stWarningsQuoteTheCompleteSpelling()
{
    const char *names[]
        = {"A",   "a",     "A_2",   "A 2", "Ap", "A p", "a_2p", "As",   "A 2s", "2A",  "_A",
           "A-2", "A_2_2", "A 2 2", "Bp",  "B",  "B_3", "b 3",  "B_3s", "If",   "If p"};
    std::mt19937 random(7);
    auto name = [&] { return std::string(names[random() % std::size(names)]); };
    for (int round = 0; round < 400; ++round) {
        std::string text = "t 0 0 T 0 w n\n";
        for (int i = 0, n = 2 + random() % 8; i < n; ++i)
            text += "p 0 0 {" + name() + "} 0 n {[" + name() + ";" + name() + "]} e\n";
        for (int i = 0, n = random() % 4; i < n; ++i)
            text += "e T {" + name() + "} 1 n\n";
        Net net;
        readNetText(text + "h\n", "t.ndr", net, nullptr, nullptr);
        Diagnostics notes, warnings;
        const ProgramSymbols symbols(net, "RdP", TimeUnit::Seconds, "t.ndr", notes);
        checkStNames(net, "t.ndr", warnings);
        for (const Diagnostic &d : warnings.all()) {
            // "la place « N » : ... (le programme complet écrit « Np » et « Ns »)"
            const std::string message = std::string(d.message) + std::string(d.messageTail);
            const size_t open = message.find("« ") + 3, close = message.find(" »", open);
            std::string named = message.substr(open, close - open);
            const bool place = message.rfind("la place ", 0) == 0;
            // The net keeps a braced place name's blanks as '@'; messages show them as blanks.
            if (place)
                std::replace(named.begin(), named.end(), ' ', '@');
            const size_t written = message.find("écrit « ") + 10;
            const std::string quoted
                = message.substr(written, message.find(" »", written) - written);
            const std::string expected = place ? std::string(symbols.place(named)) + "p"
                                               : std::string(symbols.output(named));
            QVERIFY2(quoted == expected, (text + message).c_str());
        }
    }
}

// Names that differ only in case take _2, _3... in turn, each base numbered on its own, numbers
// held by other names skipped ("abs" is a reserved word, so "ab" is no place's stem).
void TestNames::numbersInTurn()
{
    Net net;
    readNetText("p 0 0 ab 0 n {[cd;CD;Cd_3;cD;Ab_3]} e\np 0 0 AB 0 n\np 0 0 Ab 0 n\n"
                "p 0 0 aB 0 n\np 0 0 CD 0 n\np 0 0 cd 0 n\nh\n",
                "t.ndr", net, nullptr, nullptr);
    Diagnostics notes;
    const ProgramSymbols symbols(net, "RdP", TimeUnit::Seconds, "t.ndr", notes);
    std::string written;
    for (const char *name : {"ab", "AB", "Ab", "aB", "CD", "cd"})
        written += std::string(symbols.place(name)) + " ";
    for (const char *name : {"cd", "CD", "Cd_3", "cD", "Ab_3"})
        written += std::string(symbols.output(name)) + " ";
    QCOMPARE(QByteArray::fromStdString(written),
             "ab_2 AB_3 Ab_4 aB_5 CD cd_2 cd CD_2 Cd_3 cD_4 Ab_3 ");
}

QTEST_APPLESS_MAIN(TestNames)
#include "tst_names.moc"
