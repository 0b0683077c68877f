// Reading .ndr text into the net: traces byte for byte, and the net through its dump.

#include "net/netreader.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace trilette;

namespace {

struct Reading
{
    std::string traces;
    std::string net;
    int result;
};

Reading readText(const std::string &text)
{
    Net net;
    TextSink traces;
    int result = readNetText(text, "t.ndr", net, &traces);
    return {traces.text(), dumpNet(net), result};
}

QByteArray bytes(const std::string &s)
{
    return QByteArray(s.data(), static_cast<int>(s.size()));
}

} // namespace

class TestReader : public QObject
{
    Q_OBJECT

private slots:
    void example();
    void split_data();
    void split();
    void protect_data();
    void protect();
    void integers_data();
    void integers();
    void nets_data();
    void nets();
    void traces_data();
    void traces();
    void longLinesAreReadWhole();
    void unopenedFile();
    void corpus();
    void millionRecords();
};

void TestReader::example()
{
    const std::string file = "p 10 20 P1 1 n {[Ma, Mb]}\n"
                             "p 10 60 P2 0 n\n"
                             "t 10 40 T1 0 w n x {[go AND ok;run]} y\n"
                             "t 50 40 T2 0 w n\n"
                             "e P1 T1 1 n\n"
                             "e P2 T1 3 n\n"
                             "e T1 0.5 x P2 2.5 x 2 n\n"
                             "e P2 P1 1 n\n"
                             "z other\n"
                             "h net\n"
                             "p 1 1 NEVER 1 n\n";
    Reading r = readText(file);
    QCOMPARE(r.result, ReadDone);
    QCOMPARE(bytes(r.traces),
             QByteArray("place (8 jetons)      \t[p 10 20 P1 1 n  [Ma,@Mb] ]\n"
                        "place (6 jetons)      \t[p 10 60 P2 0 n]\n"
                        "transition (10 jetons) \t[t 10 40 T1 0 w n x  [go@AND@ok;run]  y]\n"
                        "jetons (1)  (t]\n"
                        "jetons (2)  (10]\n"
                        "jetons (3)  (40]\n"
                        "jetons (4)  (T1]\n"
                        "jetons (5)  (0]\n"
                        "jetons (6)  (w]\n"
                        "jetons (7)  (n]\n"
                        "jetons (8)  (x]\n"
                        "jetons (9)  ([go@AND@ok;run]]\n"
                        "jetons (10)  (y]\n"
                        "transition (7 jetons) \t[t 50 40 T2 0 w n]\n"
                        "jetons (1)  (t]\n"
                        "jetons (2)  (50]\n"
                        "jetons (3)  (40]\n"
                        "jetons (4)  (T2]\n"
                        "jetons (5)  (0]\n"
                        "jetons (6)  (w]\n"
                        "jetons (7)  (n]\n"
                        "arc (5 jetons)        \t[e P1 T1 1 n]\n"
                        "arc [e P1 T1 1]\n"
                        "arc entrant [e P1 T1 1]\n"
                        "arc (5 jetons)        \t[e P2 T1 3 n]\n"
                        "arc [e P2 T1 3]\n"
                        "arc entrant [e P2 T1 3]\n"
                        "arc (9 jetons)        \t[e T1 0.5 x P2 2.5 x 2 n]\n"
                        "arc [e T1 P2 2]\n"
                        "arc sortant [e T1 P2 2]\n"
                        "arc (5 jetons)        \t[e P2 P1 1 n]\n"
                        "arc [e P2 P1 1]\n"
                        "inconnu (2 jetons)    \t[z other]\n"));
    QCOMPARE(bytes(r.net),
             QByteArray("P P1 m=1 n=2 a=[ Mb|Ma]\n"
                        "P P2 m=0 n=0 a=[]\n"
                        "T T1 p=[go AND ok] a=[run] in=2[3*P2 1*P1] out=1[2*P2]\n"
                        "T T2 p=[] a=[] in=0[] out=0[]\n"));
}

void TestReader::split_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("tokens"); // "<null>" stands for an absent token

    QTest::newRow("plain") << QByteArray("a b c") << QStringList {"a", "b", "c"};
    QTest::newRow("runs of blanks") << QByteArray("a   b") << QStringList {"a", "b"};
    QTest::newRow("leading blanks") << QByteArray("  a b") << QStringList {"a", "b"};
    QTest::newRow("trailing blank") << QByteArray("a b ") << QStringList {"a", "b", "<null>"};
    QTest::newRow("trailing blanks") << QByteArray("a  ") << QStringList {"a", "<null>"};
    QTest::newRow("empty") << QByteArray("") << QStringList {"<null>"};
    QTest::newRow("only blanks") << QByteArray("   ") << QStringList {"<null>"};
    QTest::newRow("tab is no delimiter") << QByteArray("a\tb c") << QStringList {"a\tb", "c"};
}

void TestReader::split()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, tokens);
    Tokens got;
    int count = splitString(std::string_view(text.constData(), text.size()), ' ', got);
    QStringList seen;
    for (std::string_view token : got)
        seen << (token.empty() ? QStringLiteral("<null>")
                               : QString::fromUtf8(token.data(), int(token.size())));
    QCOMPARE(count, tokens.size());
    QCOMPARE(seen, tokens);
}

void TestReader::protect_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("protected_");

    QTest::newRow("label") << QByteArray("p 1 2 N 0 n {[a b, c]} e")
                           << QByteArray("p 1 2 N 0 n  [a@b,@c]  e");
    QTest::newRow("no nesting") << QByteArray("{a {b c} d}") << QByteArray(" a@ b@c  d ");
    QTest::newRow("unbalanced open") << QByteArray("x {a b") << QByteArray("x  a@b");
    QTest::newRow("unbalanced close") << QByteArray("x a} b") << QByteArray("x a  b");
    QTest::newRow("no braces") << QByteArray("e a b 1 n") << QByteArray("e a b 1 n");
}

void TestReader::protect()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, protected_);
    std::string text = line.toStdString();
    protectBraces(text);
    QCOMPARE(bytes(text), protected_);
}

void TestReader::integers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("value");

    QTest::newRow("plain") << QByteArray("42") << 42;
    QTest::newRow("signed") << QByteArray("-7") << -7;
    QTest::newRow("plus") << QByteArray("+3") << 3;
    QTest::newRow("fraction") << QByteArray("2.5") << 2;
    QTest::newRow("no digits") << QByteArray("x") << 0;
    QTest::newRow("leading blanks") << QByteArray("\t 5") << 5;
    QTest::newRow("thousands") << QByteArray("2K") << 2000;
    QTest::newRow("millions") << QByteArray("3M") << 3000000;
    QTest::newRow("negative thousands") << QByteArray("-4K") << -4000;
    QTest::newRow("suffix after fraction") << QByteArray("2.5K") << 2;
    QTest::newRow("lower case is no suffix") << QByteArray("2k") << 2;
    QTest::newRow("max") << QByteArray("2147483647") << 2147483647;
    QTest::newRow("above max") << QByteArray("2147483648") << 2147483647;
    QTest::newRow("min") << QByteArray("-2147483648") << int(-2147483647 - 1);
    QTest::newRow("below min") << QByteArray("-99999999999999999999") << int(-2147483647 - 1);
    QTest::newRow("suffix overflow") << QByteArray("5000M") << 2147483647;
}

void TestReader::integers()
{
    QFETCH(QByteArray, text);
    QFETCH(int, value);
    QCOMPARE(readInteger(std::string_view(text.constData(), text.size())), value);
}

void TestReader::nets_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("net");

    // Place labels.
    QTest::newRow("label ends the line")
        << QByteArray("p a b N 0 n {[x]}\n") << QByteArray("P N m=0 n=1 a=[x]\n");
    QTest::newRow("empty pieces") << QByteArray("p a b N 0 n {[a,,b]} e\n")
                                  << QByteArray("P N m=0 n=3 a=[b|a]\n");
    QTest::newRow("empty label") << QByteArray("p a b N 0 n {[]} e\np a b M 0 n {[ ]} e\n")
                                 << QByteArray("P N m=0 n=1 a=[]\nP M m=0 n=1 a=[]\n");
    QTest::newRow("blank before comma stays")
        << QByteArray("p a b N 0 n {[a ,b ]} e\n") << QByteArray("P N m=0 n=2 a=[b|a ]\n");
    QTest::newRow("at sign in label")
        << QByteArray("p a b N 0 n [x@y] e\n") << QByteArray("P N m=0 n=1 a=[x y]\n");
    QTest::newRow("label without bracket")
        << QByteArray("p a b N 0 n {[x, y} e\n") << QByteArray("P N m=0 n=2 a=[ y|x]\n");
    QTest::newRow("absent label token")
        << QByteArray("p 1 2 P1 0 n \n") << QByteArray("P P1 m=0 n=0 a=[]\n");
    QTest::newRow("unbraced label")
        << QByteArray("p 1 2 P1 0 n INC_1 se\n") << QByteArray("P P1 m=0 n=1 a=[INC_1]\n");
    QTest::newRow("negative and suffixed marking")
        << QByteArray("p 1 2 A -3 n\np 1 2 B 2K n\n")
        << QByteArray("P A m=-3 n=0 a=[]\nP B m=2000 n=0 a=[]\n");

    // Transition labels.
    QTest::newRow("empty parts") << QByteArray("t 1 2 T 0 w n x {[;]} y\n")
                                 << QByteArray("T T p=[] a=[] in=0[] out=0[]\n");
    QTest::newRow("parts untrimmed") << QByteArray("t 1 2 T 0 w n x {[x ;y]} y\n")
                                     << QByteArray("T T p=[x ] a=[y] in=0[] out=0[]\n");
    QTest::newRow("nine tokens, no label")
        << QByteArray("t 1 2 T 0 w n {[a;b]} y\n") << QByteArray("T T p=[] a=[] in=0[] out=0[]\n");
    QTest::newRow("eleven tokens, no label") << QByteArray("t 1 2 T 0 w n x {[a;b]} y z\n")
                                             << QByteArray("T T p=[] a=[] in=0[] out=0[]\n");
    QTest::newRow("no semicolon") << QByteArray("t 1 2 T 0 w n x {[go]} y\n")
                                  << QByteArray("T T p=[go] a=[] in=0[] out=0[]\n");
    QTest::newRow("no semicolon, no bracket") << QByteArray("t 1 2 T 0 w n x {[go} y\n")
                                              << QByteArray("T T p=[go] a=[] in=0[] out=0[]\n");
    QTest::newRow("semicolon, no bracket") << QByteArray("t 1 2 T 0 w n x {[a;b c} y\n")
                                           << QByteArray("T T p=[a] a=[b c] in=0[] out=0[]\n");

    // Arcs.
    const QByteArray twoTransitions = "t 0 0 A 0 w n\nt 0 0 B 0 w n\n";
    QTest::newRow("short and long forms")
        << QByteArray(twoTransitions + "e P A 1 n\ne A 0.5 x Q 2.5 x 3 n\n")
        << QByteArray("T A p=[] a=[] in=1[1*P] out=1[3*Q]\nT B p=[] a=[] in=0[] out=0[]\n");
    QTest::newRow("weights read by leading digits")
        << QByteArray(twoTransitions + "e P A 2.5 n\ne Q A x n\ne R A 2K n\n")
        << QByteArray("T A p=[] a=[] in=3[2000*R 0*Q 2*P] out=0[]\n"
                      "T B p=[] a=[] in=0[] out=0[]\n");
    QTest::newRow("between transitions: output of the source")
        << QByteArray(twoTransitions + "e B A 1 n\n")
        << QByteArray("T A p=[] a=[] in=0[] out=0[]\nT B p=[] a=[] in=0[] out=1[1*A]\n");
    QTest::newRow("first of two names wins")
        << QByteArray("t 0 0 A 0 w n\nt 0 0 A 0 w n\ne P A 1 n\ne A Q 1 n\n")
        << QByteArray("T A p=[] a=[] in=1[1*P] out=1[1*Q]\nT A p=[] a=[] in=0[] out=0[]\n");
    QTest::newRow("reverse file order")
        << QByteArray("t 0 0 A 0 w n\ne P1 A 1 n\ne P2 A 2 n\ne A Q1 1 n\ne A Q2 -1 n\n")
        << QByteArray("T A p=[] a=[] in=2[2*P2 1*P1] out=2[-1*Q2 1*Q1]\n");
    QTest::newRow("arc before its transition is dropped")
        << QByteArray("e P A 1 n\nt 0 0 A 0 w n\n") << QByteArray("T A p=[] a=[] in=0[] out=0[]\n");

    // Line ends and the end of the file.
    QTest::newRow("CR LF") << QByteArray("p 1 2 A 1 n\r\nt 1 2 T 0 w n\r\ne A T 1 n\r\nh\r\n")
                           << QByteArray("P A m=1 n=0 a=[]\nT T p=[] a=[] in=1[1*A] out=0[]\n");
    QTest::newRow("CR LF label at end")
        << QByteArray("p a b N 0 n {[x]}\r\n") << QByteArray("P N m=0 n=1 a=[x]\n");
    QTest::newRow("mixed line ends")
        << QByteArray("p 1 2 A 1 n\np 1 2 B 2 n\r\np 1 2 C 3 n")
        << QByteArray("P A m=1 n=0 a=[]\nP B m=2 n=0 a=[]\nP C m=3 n=0 a=[]\n");
    QTest::newRow("lone CR stays in the line")
        << QByteArray("p 1 2 A\rB 1 n\n") << QByteArray("P A\rB m=1 n=0 a=[]\n");
    QTest::newRow("no end line") << QByteArray("p 1 2 A 1 n\n") << QByteArray("P A m=1 n=0 a=[]\n");
    QTest::newRow("empty file") << QByteArray() << QByteArray();
    QTest::newRow("h first") << QByteArray("h\np 1 2 A 1 n\n") << QByteArray();
    QTest::newRow("h ends whatever follows")
        << QByteArray("p 1 2 A 1 n\nhello\np 1 2 B 1 n\n") << QByteArray("P A m=1 n=0 a=[]\n");
    QTest::newRow("empty lines skipped") << QByteArray("\np 1 2 A 1 n\n\n\r\np 1 2 B 1 n\n")
                                         << QByteArray("P A m=1 n=0 a=[]\nP B m=1 n=0 a=[]\n");
    QTest::newRow("leading blank: unknown") << QByteArray(" p 1 2 A 1 n\n") << QByteArray();
    QTest::newRow("upper case: unknown") << QByteArray("P 1 2 A 1 n\nT 1 2 T 0\n") << QByteArray();
    QTest::newRow("NUL ends the line's text")
        << QByteArray("p 1 2 AB 1 n\np 1 2 C").append('\0').append("D 1 n\n")
        << QByteArray("P AB m=1 n=0 a=[]\n");
    QTest::newRow("high bytes kept") << QByteArray("p 1 2 R\xc3\xa9seau\xff 1 n {[Mot\xe9ur]}\n")
                                     << QByteArray("P R\xc3\xa9seau\xff m=1 n=1 a=[Mot\xe9ur]\n");
}

void TestReader::nets()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, net);
    Reading r = readText(file.toStdString());
    QCOMPARE(r.result, ReadDone);
    QCOMPARE(bytes(r.net), net);
}

void TestReader::traces_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("traces");

    QTest::newRow("absent last token")
        << QByteArray("t 1 2 T 0 \n")
        << QByteArray("transition (6 jetons) \t[t 1 2 T 0 ]\njetons (1)  (t]\njetons (2)  (1]\n"
                      "jetons (3)  (2]\njetons (4)  (T]\njetons (5)  (0]\njetons (6)  ((null)]\n");
    QTest::newRow("dropped arc") << QByteArray(
        "e P Q 1 n\n") << QByteArray("arc (5 jetons)        \t[e P Q 1 n]\narc [e P Q 1]\n");
    QTest::newRow("place without marking")
        << QByteArray("p 1 2 A\n")
        << QByteArray(
               "place (4 jetons)      \t[p 1 2 A]\nt.ndr:1: ligne ignoree : jeton 5 absent\n");
    QTest::newRow("place without name")
        << QByteArray("\np 1 2 \n")
        << QByteArray(
               "place (4 jetons)      \t[p 1 2 ]\nt.ndr:2: ligne ignoree : jeton 4 absent\n");
    QTest::newRow("transition without name")
        << QByteArray("t 1 2\n")
        << QByteArray("transition (3 jetons) \t[t 1 2]\nt.ndr:1: ligne ignoree : jeton 4 absent\n");
    QTest::newRow("four tokens: long form")
        << QByteArray("e P T \n")
        << QByteArray(
               "arc (4 jetons)        \t[e P T ]\nt.ndr:1: ligne ignoree : jeton 5 absent\n");
    QTest::newRow("long arc without weight")
        << QByteArray("e P 1 2 T 3\n")
        << QByteArray(
               "arc (6 jetons)        \t[e P 1 2 T 3]\nt.ndr:1: ligne ignoree : jeton 8 absent\n");
    QTest::newRow("five tokens with absent weight")
        << QByteArray("e P T 1 \n")
        << QByteArray("arc (5 jetons)        \t[e P T 1 ]\narc [e P T 1]\n");
    QTest::newRow("empty line and NUL-led line")
        << QByteArray("\n\r\n\0x\n", 6) << QByteArray("inconnu (1 jetons)    \t[]\n");
}

void TestReader::traces()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, traces);
    Reading r = readText(file.toStdString());
    QCOMPARE(bytes(r.traces), traces);
}

void TestReader::longLinesAreReadWhole()
{
    const std::string name(5000, 'N');
    const std::string label = "{[" + std::string(3000, 'a') + ";" + std::string(3000, 'b') + "]}";
    Reading r = readText("t 1 2 " + name + " 0 w n x " + label + " y\np 1 2 " + name + " 1 n {["
                         + std::string(300, 'c') + "]}\ne " + name + " " + name + " 1 n\n");
    QCOMPARE(bytes(r.net),
             bytes("P " + name + " m=1 n=1 a=[" + std::string(300, 'c') + "]\nT " + name + " p=["
                   + std::string(3000, 'a') + "] a=[" + std::string(3000, 'b') + "] in=0[] out=1[1*"
                   + name + "]\n"));
}

void TestReader::unopenedFile()
{
    QTemporaryDir dir;
    const std::string missing = QDir(dir.path()).filePath("absent.ndr").toStdString();
    for (const std::string &path : {missing, dir.path().toStdString()}) {
        Net net;
        TextSink traces;
        QCOMPARE(readNetFile(path, net, &traces), ReadNotOpened);
        QCOMPARE(bytes(traces.text()), bytes(" erreur fichier <" + path + "> non ouvert\n"));
        QCOMPARE(dumpNet(net), std::string());
    }
}

void TestReader::corpus()
{
    QDir corpus(QStringLiteral(TRILETTE_CORPUS_DIR));
    const QStringList files = corpus.entryList({QStringLiteral("*.ndr")}, QDir::Files);
    if (files.isEmpty())
        QSKIP("no corpus of real nets beside the checkout (../shared/corpus/ndr)");
    for (const QString &file : files) {
        Net net;
        TextSink traces;
        const std::string path = corpus.filePath(file).toStdString();
        QCOMPARE(readNetFile(path, net, &traces), ReadDone);
        QVERIFY2(net.placeCount() + net.transitionCount() > 0, qPrintable(file));
        QVERIFY2(traces.text().find("ligne ignoree") == std::string::npos, qPrintable(file));
    }
}

void TestReader::millionRecords()
{
    // Building and releasing a long net must not recurse along the `next` links.
    std::string text;
    for (int i = 0; i < 1000000; ++i)
        text += "p 0 0 P 1 n\n";
    Net net;
    QCOMPARE(readNetText(text, "big.ndr", net, nullptr), ReadDone);
    QCOMPARE(net.placeCount(), size_t(1000000));
}

QTEST_APPLESS_MAIN(TestReader)
#include "tst_reader.moc"
