// The conversion run and the I/O under it: outputs replaced in pairs or not at all, the base-name
// rule, text written in large blocks, a net that moves safely.

#include "net/netreader.h"
#include "run/conversion.h"
#include "util/diagnostic.h"
#include "util/fileio.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace trilette;

namespace {

QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), int(text.size()));
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

std::string local(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

const QByteArray lampNet = "p 1 2 P1 1 n\np 1 2 P2 0 n {[Lamp]} e\nt 1 2 T1 0 w n\n"
                           "e P1 T1 1 n\ne T1 P2 1 n\nh\n";

} // namespace

class TestRun : public QObject
{
    Q_OBJECT

private slots:
    void outputPairs_data();
    void outputPairs();
    void commitRollsBack();
    void baseNames();
    void sinkWritesLargeBlocks();
    void netMoves();
    void diagnosticsKeepTheirTexts();
    void diagnosticEndingsByText();
    void quotedTexts();
};

void TestRun::outputPairs_data()
{
    // What stands in the output folder before the run (a name ending in '/' is a folder, any
    // other an earlier file holding "ancien"), the diagnostics, and the files afterwards.
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("diagnostics");
    QTest::addColumn<QStringList>("after");

    const QString both = "n.log n_ST.txt";
    QTest::newRow("earlier pair replaced")
        << QStringList {"n.log", "n_ST.txt"} << QStringList() << QStringList {"n.log", "n_ST.txt"};
    QTest::newRow("a folder in the program's way: the earlier log stays")
        << QStringList {"n.log", "n_ST.txt/"}
        << QStringList {"<out>/n_ST.txt: erreur: impossible d'écrire le fichier : un dossier "
                        "porte ce nom"}
        << QStringList {"n.log=ancien", "n_ST.txt/"};
    QTest::newRow("a folder in the log's way: the earlier program stays")
        << QStringList {"n.log/", "n_ST.txt"}
        << QStringList {"<out>/n.log: erreur: impossible d'écrire le fichier : un dossier porte "
                        "ce nom"}
        << QStringList {"n.log/", "n_ST.txt=ancien"};
}

void TestRun::outputPairs()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, diagnostics);
    QFETCH(QStringList, after);
    QTemporaryDir tmp;
    QDir out(tmp.filePath("out"));
    QVERIFY(QDir(tmp.path()).mkdir("out"));
    for (const QString &name : before) {
        QFile file(out.filePath(name));
        QVERIFY(name.endsWith('/') ? out.mkdir(name)
                                   : file.open(QIODevice::WriteOnly) && file.write("ancien") == 6);
    }
    QFile net(tmp.filePath("n.ndr"));
    QVERIFY(net.open(QIODevice::WriteOnly) && net.write(lampNet) == lampNet.size());
    net.close();

    const ConversionResult result
        = convertNet({local(net.fileName()), local(out.path()), "n"}, nullptr);
    QStringList seen;
    for (const Diagnostic &d : result.diagnostics.all())
        seen << QString::fromStdString(d.format()).replace(out.path(), "<out>");
    QCOMPARE(seen, diagnostics);
    QCOMPARE(result.written, diagnostics.isEmpty());

    QStringList found;
    for (const QFileInfo &info :
         out.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name)) {
        if (info.isDir())
            found << info.fileName() + '/';
        else if (contents(info.filePath()) == "ancien")
            found << info.fileName() + "=ancien";
        else
            found << info.fileName();
    }
    QCOMPARE(found, after);
}

void TestRun::commitRollsBack()
{
    // Three staged files; the third cannot take its name: the first two are put back as they
    // were (the first had an earlier version, the second none) and nothing staged is left.
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    auto write = [&](const QString &name, const QByteArray &text) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    };
    QVERIFY(write("a", "old a") && write("a.part", "new a") && write("b.part", "new b")
            && write("c.part", "new c") && dir.mkpath("c/inside"));
    std::string failed;
    std::error_code error;
    QVERIFY(!commitFiles({{local(dir.filePath("a.part")), local(dir.filePath("a"))},
                          {local(dir.filePath("b.part")), local(dir.filePath("b"))},
                          {local(dir.filePath("c.part")), local(dir.filePath("c/inside"))}},
                         failed, error));
    QCOMPARE(QString::fromStdString(failed), dir.filePath("c/inside"));
    QCOMPARE(dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
             QStringList({"a", "c"}));
    QCOMPARE(contents(dir.filePath("a")), QByteArray("old a"));
}

void TestRun::baseNames()
{
    // The file name less its last four characters, counted in UTF-8, a byte that is no UTF-8
    // as one.
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
        // A surrogate and an overlong form are no characters: each byte counts.
        {"abc\xED\xA0\x80", "ab"},
        {"abcdef\xE0\x80\xAF", "abcde"},
    };
    for (const auto &c : cases)
        QCOMPARE(bytes(baseNameFor(c[0])), QByteArray(c[1]));
}

void TestRun::sinkWritesLargeBlocks()
{
    // 10 MB through put() and format() in small pieces reach the writer in blocks of at least
    // TextSink::blockSize, the last one on flush(); a writer that fails is remembered.
    std::vector<size_t> writes;
    QByteArray written;
    {
        TextSink sink([&](std::string_view block) {
            writes.push_back(block.size());
            written += bytes(block);
            return true;
        });
        for (int i = 0; i < 500000; ++i) {
            sink.put("0123456789");
            sink.format("%s=%d\n", "x", i % 10);
        }
        QVERIFY(sink.flush());
    }
    QCOMPARE(written.size(), 500000 * 14);
    QCOMPARE(writes.size(), size_t(written.size() / TextSink::blockSize + 1));
    for (size_t i = 0; i + 1 < writes.size(); ++i)
        QVERIFY(writes[i] >= TextSink::blockSize);

    TextSink failing([](std::string_view) {
        errno = ENOSPC;
        return false;
    });
    failing.put("x");
    QVERIFY(!failing.flush());
    QCOMPARE(failing.writeError(), ENOSPC);

    // The text of a sink that holds nothing yet, as the complete formats leave the program's
    // trace, appends nothing (UndefinedBehaviorSanitizer watches the copy).
    TextSink empty, kept;
    kept.put("x");
    kept.put(empty.text());
    QCOMPARE(bytes(kept.text()), QByteArray("x"));
}

void TestRun::netMoves()
{
    // Moving a net moves no record: what was read stays readable through the new owner, and
    // both nets are then released (AddressSanitizer watches the whole test).
    Net first;
    readNetText(lampNet.toStdString(), "n.ndr", first, nullptr);
    const std::string dump = dumpNet(first);
    Net second(std::move(first));
    QCOMPARE(dumpNet(second), dump);
    Net third;
    third = std::move(second);
    QCOMPARE(dumpNet(third), dump);
    QCOMPARE(third.findTransition("T1"), third.firstTransition());
}

void TestRun::diagnosticsKeepTheirTexts()
{
    // Messages of every length around the 64 KB chunks the texts are kept in, some with a
    // shared ending, through the moves and merges that a conversion makes: each reads back as
    // it was given.
    static const char tail[] = " : fin commune";
    std::vector<std::string> expected;
    Diagnostics first, second;
    auto add = [&](Diagnostics &into, int line, const std::string &message, bool withTail) {
        into.add(Severity::Warning, "n.ndr", line, 0, message, withTail ? tail : "");
        expected.push_back("n.ndr:" + std::to_string(line) + ": avertissement: " + message
                           + (withTail ? tail : ""));
    };
    int line = 1;
    for (size_t size : {size_t(0), size_t(10), size_t(65535), size_t(65536), size_t(65537),
                        size_t(200000), size_t(3)}) {
        add(first, line, std::string(size, char('a' + line % 26)), line % 2);
        ++line;
    }
    for (int i = 0; i < 20000; ++i)
        add(second, line++, "message " + std::to_string(i), i % 3 == 0);
    add(second, line++, std::string(70000, 'z'), true);
    first.append(std::move(second));
    first.add(Severity::Error, "autre.ndr", 0, 0, "après la fusion");
    expected.push_back("autre.ndr: erreur: après la fusion");
    const Diagnostics copy = first;
    for (const Diagnostics *d : std::initializer_list<const Diagnostics *> {&first, &copy}) {
        QCOMPARE(d->size(), expected.size());
        size_t i = 0;
        for (const Diagnostic &diagnostic : d->all())
            QVERIFY2(diagnostic.format() == expected[i++], qPrintable(QString::number(i)));
    }
    first.makeWarningsErrors();
    QVERIFY(first.at(2).format()
            == "n.ndr:3: erreur: " + std::string(65535, 'd') + tail + " [--werror]");
    first.keepFirst(1);
    QCOMPARE(first.size(), size_t(1));
}

void TestRun::diagnosticEndingsByText()
{
    // Endings are told apart by their text, not where it lies: more distinct endings than an
    // entry can number, given before and after a merge, each read back with its message.
    std::vector<std::string> endings;
    for (int i = 0; i < 70000; ++i)
        endings.push_back(" : fin " + std::to_string(i));
    Diagnostics first, second;
    for (int i = 0; i < 70000; ++i)
        (i % 2 ? second : first).add(Severity::Note, "n.ndr", i + 1, 0, "m", endings[size_t(i)]);
    first.append(std::move(second));
    first.add(Severity::Note, "n.ndr", 0, 0, "m", std::string(endings[69999]));
    QCOMPARE(first.size(), size_t(70001));
    for (size_t i = 0; i < first.size(); ++i) {
        const Diagnostic d = first.at(i);
        QCOMPARE(std::string(d.message) + std::string(d.messageTail),
                 "m"
                     + endings[i < 35000       ? 2 * i
                                   : i < 70000 ? 2 * (i - 35000) + 1
                                               : 69999]);
    }
}

void TestRun::quotedTexts()
{
    // Names in messages: blanks that braces protected shown again, bytes that are no UTF-8
    // replaced, a long text cut on a character.
    const std::string a39(39, 'a');
    const struct
    {
        std::string text;
        size_t limit;
        std::string shown;
    } cases[] = {
        {"Data@packet", std::string::npos, "« Data packet »"},
        {"a\xFF\xED\xA0\x80\xC3\xA9", std::string::npos,
         "« a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xC3\xA9 »"},
        {a39 + "a", 40, "« " + a39 + "a »"},
        {a39 + "ab", 40, "« " + a39 + "a… »"},
        {a39 + "\xC3\xA9", 40, "« " + a39 + "… »"},
        {a39 + "\xFF\xFF", 40, "« " + a39 + "\xEF\xBF\xBD… »"},
    };
    for (const auto &c : cases)
        QCOMPARE(bytes(quoted(c.text, c.limit)), bytes(c.shown));
}

QTEST_APPLESS_MAIN(TestRun)
#include "tst_run.moc"
