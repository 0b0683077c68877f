// The writers and the conversion run on nets built in memory: what the golden files cannot show
// well (many outputs, extreme weights, files that cannot be written, the base-name rule).

#include "codegen/conversion.h"
#include "codegen/structurelog.h"
#include "codegen/stwriter.h"
#include "net/netreader.h"
#include "net/textsink.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using namespace trilette;

namespace {

const char header[] = "(*-------Codage de RDP en ST d\xC3\xA9"
                      "compos\xC3\xA9 en blocs FMG------------*)\n\n\n"
                      "IF(INIT) THEN\n(*-------Initialisation------------*)\n";

QByteArray fileText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<cannot be read>";
    return file.readAll();
}

QByteArray bytes(const std::string &text)
{
    return QByteArray::fromStdString(text);
}

bool putFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

std::string local(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

enum Writer { StCode, OutputBlock, StructureLog };
enum Target { StaleFile, Directory, FullDevice };

} // namespace

Q_DECLARE_METATYPE(Writer)
Q_DECLARE_METATYPE(Target)

class TestCodegen : public QObject
{
    Q_OBJECT

private slots:
    void firingBlock_data();
    void firingBlock();
    void everyOutputWritten();
    void writeFile_data();
    void writeFile();
    void baseName_data();
    void baseName();
    void unreadableNetWritesNothing_data();
    void unreadableNetWritesNothing();
    void blockedOutput_data();
    void blockedOutput();
};

void TestCodegen::firingBlock_data()
{
    QTest::addColumn<int>("weightA");
    QTest::addColumn<int>("weightB");
    QTest::addColumn<int>("weightC");
    QTest::addColumn<QByteArray>("block");

    constexpr int most = std::numeric_limits<int32_t>::max();
    constexpr int least = std::numeric_limits<int32_t>::min();
    QTest::newRow("guard tests the weight")
        << 1 << 2 << 1
        << QByteArray("IF ( (Ap>=1) AND  (Bp>=2) AND (go) ) THEN\n"
                      "\tAs := As - 1;\n\tBs := Bs - 2;\n"
                      "\tCs := Cs + 1;\nEND_IF;\n\n");
    QTest::newRow("32-bit limits")
        << most << least << least
        << QByteArray("IF ( (Ap>=2147483647) AND  (Bp>=1) AND (go) ) THEN\n"
                      "\tAs := As - 2147483647;\n\tBs := Bs - -2147483648;\n"
                      "\tCs := Cs + -2147483648;\nEND_IF;\n\n");
}

void TestCodegen::firingBlock()
{
    QFETCH(int, weightA);
    QFETCH(int, weightB);
    QFETCH(int, weightC);
    QFETCH(QByteArray, block);

    Net net;
    Transition &t = net.appendTransition("T");
    t.predicate = "go";
    net.prependInput(t, "B", weightB);
    net.prependInput(t, "A", weightA);
    net.prependOutput(t, "C", weightC);
    TextSink out, trace;
    renderStCode(net.firstTransition(), net.firstPlace(), out, &trace);
    QCOMPARE(bytes(out.text()),
             header + QByteArray("ELSE\n\n(*-------BLOC F------------*)\n") + block
                 + "\n(*-------BLOC M------------*)\n\n");
    QCOMPARE(bytes(trace.text()), QByteArray("Ici1\n"));
}

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
    renderOutputBlock(net.firstPlace(), out);
    QCOMPARE(bytes(out.text()),
             bytes("\n(*-------BLOC G------------*)\n\nO1 := (P1p >=1);\n" + shared + ";\n" + own
                   + "\nEND_IF;\n\n"));
}

void TestCodegen::writeFile_data()
{
    QTest::addColumn<Writer>("writer");
    QTest::addColumn<Target>("target");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QByteArray>("trace");

    // A directory where the file should go cannot be opened, even by root; the full device
    // opens but refuses every write.
    const QByteArray none, ici = "Ici1\n", logError = "Erreur Ouverture du fichier Log\n";
    QTest::newRow("program") << StCode << StaleFile << true << ici;
    QTest::newRow("output block") << OutputBlock << StaleFile << true << none;
    QTest::newRow("log") << StructureLog << StaleFile << true << none;
    QTest::newRow("program, directory") << StCode << Directory << false << none;
    QTest::newRow("output block, directory") << OutputBlock << Directory << false << none;
    QTest::newRow("log, directory") << StructureLog << Directory << false << logError;
    QTest::newRow("program, full device") << StCode << FullDevice << false << ici;
    QTest::newRow("output block, full device") << OutputBlock << FullDevice << false << none;
    QTest::newRow("log, full device") << StructureLog << FullDevice << false << none;
}

void TestCodegen::writeFile()
{
    QFETCH(Writer, writer);
    QFETCH(Target, target);
    QFETCH(bool, written);
    QFETCH(QByteArray, trace);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = dir.filePath("file");
    const QByteArray stale(5000, 'x');
    if (target == FullDevice) {
        path = "/dev/full";
        if (!QFile::exists(path))
            QSKIP("no /dev/full on this system");
    }
    QVERIFY(target == Directory ? QDir().mkdir(path)
                                : target == FullDevice || putFile(path, stale));

    Net net;
    QCOMPARE(readNetText("p 1 2 P 1 n [Out] e\nt 3 4 T 0 w n\ne P T 2 n\n", "net", net, nullptr),
             ReadDone);
    const Place *places = net.firstPlace();
    const Transition *transitions = net.firstTransition();
    TextSink messages, expected;
    bool result = false;
    switch (writer) {
    case StCode:
        result = writeStCode(transitions, local(path), places, &messages);
        renderStCode(transitions, places, expected, nullptr);
        break;
    case OutputBlock:
        result = appendOutputBlock(places, local(path));
        expected.put(stale.toStdString());
        renderOutputBlock(places, expected);
        break;
    case StructureLog:
        result = writeStructureLog(places, transitions, local(path), &messages);
        renderStructureLog(places, transitions, expected);
        break;
    }
    QCOMPARE(result, written);
    QCOMPARE(bytes(messages.text()), trace);
    if (target == StaleFile)
        QCOMPARE(fileText(path), bytes(expected.text()));
    if (target == Directory)
        QVERIFY(QDir(path).isEmpty());
}

void TestCodegen::baseName_data()
{
    QTest::addColumn<QByteArray>("fileName");
    QTest::addColumn<QByteArray>("base");

    const auto row = [](const char *name, const char *fileName, const char *base) {
        QTest::newRow(name) << QByteArray(fileName) << QByteArray(base);
    };
    row("usine.ndr", "usine.ndr", "usine");
    row("a.ndr", "a.ndr", "a");
    row(".ndr", ".ndr", "Ex");
    row("abc", "abc", "Ex");
    row("empty", "", "Ex");
    row("any last four", "modele.petri", "modele.p");
    row("accents kept whole", "r\xC3\xA9seau.ndr", "r\xC3\xA9seau");
    row("only accent left", "\xC3\xA9.ndr", "\xC3\xA9");
    row("four multibyte at the end", "net\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xC3\xB1", "net");
    row("five characters, ten bytes", "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", "\xC3\xA9");
    row("four multibyte only", "\xF0\x9F\x98\x80\xC3\xA9\xC3\xA9\xC3\xA9", "Ex");
    row("invalid bytes count one each", "ab\xFF\xFE\xFD\xFC", "ab");
    row("stray continuation bytes", "abcde\x80\x80", "abc");
    row("cut sequence", "abcd\xE2\x82", "ab");
}

void TestCodegen::baseName()
{
    QFETCH(QByteArray, fileName);
    QFETCH(QByteArray, base);
    QCOMPARE(bytes(baseNameFor(fileName.toStdString())), base);
}

void TestCodegen::unreadableNetWritesNothing_data()
{
    QTest::addColumn<bool>("isDirectory");
    QTest::newRow("missing file") << false;
    QTest::newRow("directory") << true;
}

void TestCodegen::unreadableNetWritesNothing()
{
    QFETCH(bool, isDirectory);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString out = dir.filePath("out");
    QVERIFY(QDir().mkdir(out));
    const QByteArray earlier = "earlier good output\n";
    QVERIFY(putFile(out + "/net.log", earlier));
    QVERIFY(putFile(out + "/net_ST.txt", earlier));
    const std::string netPath = local(dir.filePath("net.ndr"));
    if (isDirectory)
        QVERIFY(QDir().mkdir(dir.filePath("net.ndr")));

    TextSink trace;
    ConversionResult result = convertNet({netPath, local(out), "net"}, &trace);
    QCOMPARE(result.errors.size(), size_t(1));
    QCOMPARE(result.errors[0].kind, ConversionError::NetNotRead);
    QCOMPARE(bytes(result.errors[0].message()),
             bytes("Impossible de lire le fichier reseau : " + netPath));
    QCOMPARE(bytes(trace.text()), bytes(" erreur fichier <" + netPath + "> non ouvert\n"));
    QCOMPARE(entries(out), QStringList({"net.log", "net_ST.txt"}));
    QCOMPARE(fileText(out + "/net.log"), earlier);
    QCOMPARE(fileText(out + "/net_ST.txt"), earlier);
}

void TestCodegen::blockedOutput_data()
{
    QTest::addColumn<QString>("blocked");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QByteArray>("trace");

    // An empty net: the other output still holds its whole text.
    const QByteArray log = "\n\n visalisation de la SD creee\nLes places --\nLes transitions --\n";
    const QByteArray program = header
        + QByteArray("ELSE\n\n(*-------BLOC F------------*)\n\n(*-------BLOC M------------*)\n\n"
                     "\n(*-------BLOC G------------*)\n\n\nEND_IF;\n\n");
    QTest::newRow("program") << "net_ST.txt"
                             << "net.log" << log << QByteArray("Ici1\n");
    QTest::newRow("log") << "net.log"
                         << "net_ST.txt" << program
                         << QByteArray("Erreur Ouverture du fichier Log\nIci1\n");
}

void TestCodegen::blockedOutput()
{
    QFETCH(QString, blocked);
    QFETCH(QString, written);
    QFETCH(QByteArray, contents);
    QFETCH(QByteArray, trace);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(putFile(dir.filePath("net.ndr"), ""));
    QVERIFY(QDir().mkdir(dir.filePath(blocked)));

    TextSink messages;
    ConversionResult result
        = convertNet({local(dir.filePath("net.ndr")), local(dir.path()), "net"}, &messages);
    const std::string blockedPath = local(dir.filePath(blocked));
    QCOMPARE(result.errors.size(), size_t(1));
    QCOMPARE(result.errors[0].kind, ConversionError::OutputNotWritten);
    QCOMPARE(bytes(result.errors[0].message()),
             bytes("Impossible d'ecrire le fichier : " + blockedPath));
    QCOMPARE(bytes(messages.text()), trace);
    QCOMPARE(fileText(dir.filePath(written)), contents);
    QCOMPARE(entries(dir.path()), QStringList({"net.log", "net.ndr", "net_ST.txt"}));
    QVERIFY(QDir(dir.filePath(blocked)).isEmpty());
}

QTEST_APPLESS_MAIN(TestCodegen)
#include "tst_codegen.moc"
