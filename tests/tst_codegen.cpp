// The writers on nets built in memory: what the golden files cannot show well (many outputs,
// files that cannot be written), and the base-name rule.

#include "codegen/structurelog.h"
#include "codegen/stwriter.h"
#include "net/netreader.h"
#include "run/conversion.h"

#include <QTemporaryDir>
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
    void writers_data();
    void writers();
    void baseNames();
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

void TestCodegen::writers_data()
{
    // Which writer (program, output block, log); where it writes: over an earlier file, where a
    // folder stands (no one can open it, root included), or to a device that refuses every
    // write; whether it says the file was written; what it prints.
    QTest::addColumn<int>("writer");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QByteArray>("trace");

    const QString file = "file", folder = "folder/", full = "/dev/full";
    const QByteArray ici = "Ici1\n", logError = "Erreur Ouverture du fichier Log\n";
    QTest::newRow("program") << 0 << file << true << ici;
    QTest::newRow("output block") << 1 << file << true << QByteArray();
    QTest::newRow("log") << 2 << file << true << QByteArray();
    QTest::newRow("program, folder") << 0 << folder << false << QByteArray();
    QTest::newRow("output block, folder") << 1 << folder << false << QByteArray();
    QTest::newRow("log, folder") << 2 << folder << false << logError;
    QTest::newRow("program, full device") << 0 << full << false << ici;
    QTest::newRow("output block, full device") << 1 << full << false << QByteArray();
    QTest::newRow("log, full device") << 2 << full << false << QByteArray();
}

void TestCodegen::writers()
{
    QFETCH(int, writer);
    QFETCH(QString, target);
    QFETCH(bool, written);
    QFETCH(QByteArray, trace);
    if (target == "/dev/full" && !QFile::exists(target))
        QSKIP("no /dev/full on this system");
    QTemporaryDir dir;
    const QString path = target.startsWith('/') ? target : dir.filePath(target);
    const QByteArray earlier(5000, 'x');
    QFile file(path);
    QVERIFY(target == "folder/" ? QDir().mkdir(path)
                                : target.startsWith('/')
                    || (file.open(QIODevice::WriteOnly) && file.write(earlier) == earlier.size()));
    file.close();

    Net net;
    readNetText("p 1 2 P 1 n [Out] e\nt 3 4 T 0 w n\ne P T 2 n\n", "net", net, nullptr);
    const Place *places = net.firstPlace();
    const Transition *transitions = net.firstTransition();
    const std::string local = QFile::encodeName(path).toStdString();
    TextSink messages, expected;
    bool result = false;
    if (writer == 0) {
        result = writeStCode(transitions, local, places, &messages);
        renderStCode(transitions, places, expected, nullptr);
    } else if (writer == 1) {
        result = appendOutputBlock(places, local);
        expected.put(earlier.toStdString());
        renderOutputBlock(places, expected);
    } else {
        result = writeStructureLog(places, transitions, local, &messages);
        renderStructureLog(places, transitions, expected);
    }
    QCOMPARE(result, written);
    QCOMPARE(bytes(messages.text()), trace);
    if (target == "file") {
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes(expected.text()));
    }
}

void TestCodegen::baseNames()
{
    // The file name less its last four characters, counted in UTF-8, an invalid byte as one.
    const char *const cases[][2] = {
        {"usine.ndr", "usine"},
        {"a.ndr", "a"},
        {".ndr", "Ex"},
        {"", "Ex"},
        {"modele.petri", "modele.p"},
        {"r\xC3\xA9seau.ndr", "r\xC3\xA9seau"},
        {"net\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xC3\xB1", "net"},
        {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", "\xC3\xA9"},
        {"\xF0\x9F\x98\x80\xC3\xA9\xC3\xA9\xC3\xA9", "Ex"},
        {"ab\xFF\xFE\xFD\xFC", "ab"},
        {"abcde\x80\x80", "abc"},
        {"abcd\xE2\x82", "ab"},
    };
    for (const auto &c : cases)
        QCOMPARE(bytes(baseNameFor(c[0])), QByteArray(c[1]));
}

QTEST_APPLESS_MAIN(TestCodegen)
#include "tst_codegen.moc"
