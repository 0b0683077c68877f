// The writers on nets built in memory: what the golden files cannot show well (many outputs,
// files that cannot be written), and the base-name rule.

#include "codegen/conversion.h"
#include "codegen/structurelog.h"
#include "codegen/stwriter.h"
#include "net/netreader.h"
#include "net/textsink.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace trilette;

namespace {

QByteArray fileText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<cannot be read>";
    return file.readAll();
}

QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), int(text.size()));
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

enum Writer { StCode, OutputBlock, StructureLog };
enum Target { StaleFile, Directory, FullDevice };

} // namespace

Q_DECLARE_METATYPE(Writer)
Q_DECLARE_METATYPE(Target)

class TestCodegen : public QObject
{
    Q_OBJECT

private slots:
    void everyOutputWritten();
    void writeFile_data();
    void writeFile();
    void baseName_data();
    void baseName();
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

QTEST_APPLESS_MAIN(TestCodegen)
#include "tst_codegen.moc"
