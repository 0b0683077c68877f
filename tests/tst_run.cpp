// The conversion run and the I/O under it: outputs replaced in pairs or not at all, the base-name
// rule, text written in large blocks, a net that moves safely.

#include "codegen/plcopenwriter.h"
#include "net/netreader.h"
#include "run/conversion.h"
#include "util/diagnostic.h"
#include "util/fileio.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstdlib>
#include <thread>

#include <unistd.h>

// Every allocation of this test goes through here: an armed count makes one of them fail, as
// when memory runs out in the middle of a run.
static std::atomic<long> allocationsBeforeFailure {-1};

void *operator new(size_t size)
{
    if (allocationsBeforeFailure.load(std::memory_order_relaxed) >= 0
        && allocationsBeforeFailure.fetch_sub(1) == 0)
        throw std::bad_alloc();
    if (void *block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}
void operator delete(void *block) noexcept
{
    std::free(block);
}
void operator delete(void *block, size_t) noexcept
{
    std::free(block);
}

using namespace trilette;

namespace {

QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), int(text.size()));
}

void writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
}

/// Everything in a folder, hidden files too, a file that holds "ancien" as NAME=ancien.
QStringList entriesIn(const QDir &dir);

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

std::string local(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

QStringList entriesIn(const QDir &dir)
{
    QStringList found;
    for (const QFileInfo &info :
         dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name)) {
        if (info.isDir())
            found << info.fileName() + '/';
        else if (contents(info.filePath()) == "ancien")
            found << info.fileName() + "=ancien";
        else
            found << info.fileName();
    }
    return found;
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
    void concurrentRunsKeepPairs();
    void longBaseNames();
    void outOfMemory();
    void commitRollsBack_data();
    void commitRollsBack();
    void baseNames();
    void sinkWritesLargeBlocks();
    void netMoves();
    void diagnosticsKeepTheirTexts();
    void diagnosticEndingsByText();
    void quotedTexts();
    void cancelStopsSoon_data();
    void cancelStopsSoon();
    void longWorkHearsStop();
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

    QCOMPARE(entriesIn(out), after);
}

void TestRun::concurrentRunsKeepPairs()
{
    // Two runs write outputs of the same names into one folder at the same time, again and
    // again: each succeeds, and the pair in place always comes from one of them, whole.
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    QByteArray alpha, beta;
    for (int i = 0; i < 3000; ++i) {
        alpha += "p 1 2 Alpha" + QByteArray::number(i) + " 1 n\n";
        beta += "p 1 2 Beta" + QByteArray::number(i) + " 0 n\n";
    }
    writeFile(dir.filePath("alpha.ndr"), alpha + "h\n");
    writeFile(dir.filePath("beta.ndr"), beta + "h\n");
    for (int round = 0; round < 40; ++round) {
        ConversionResult results[2];
        auto run = [&](int which, const char *net) {
            results[which]
                = convertNet({local(dir.filePath(net)), local(dir.path()), "n"}, nullptr);
        };
        std::thread second(run, 1, "beta.ndr");
        run(0, "alpha.ndr");
        second.join();
        for (const ConversionResult &result : results)
            QVERIFY2(result.written && result.diagnostics.empty(),
                     result.diagnostics.empty() ? "" : result.diagnostics.at(0).format().c_str());
        QCOMPARE(entriesIn(dir), QStringList({"alpha.ndr", "beta.ndr", "n.log", "n_ST.txt"}));
        const QByteArray log = contents(dir.filePath("n.log"));
        const QByteArray program = contents(dir.filePath("n_ST.txt"));
        const bool fromAlpha = log.contains("Alpha0");
        QCOMPARE(log.contains("Beta"), !fromAlpha);
        QCOMPARE(program.contains("Alpha"), fromAlpha);
        QCOMPARE(program.contains("Beta"), !fromAlpha);
    }
}

void TestRun::longBaseNames()
{
    // Outputs whose names come close to the system's limit of 255 bytes replace their earlier
    // versions run after run: no name made from them for the commit is longer than they are.
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    writeFile(dir.filePath("n.ndr"), lampNet);
    for (int length : {239, 243, 247}) {
        const std::string base(size_t(length), 'b');
        for (int run = 0; run < 2; ++run) {
            const ConversionResult result
                = convertNet({local(dir.filePath("n.ndr")), local(dir.path()), base}, nullptr);
            QVERIFY(result.written && result.diagnostics.empty());
        }
        const QString name = QString::fromStdString(base);
        QCOMPARE(entriesIn(dir), QStringList({name + ".log", name + "_ST.txt", "n.ndr"}));
        QVERIFY(dir.remove(name + ".log") && dir.remove(name + "_ST.txt"));
    }
}

void TestRun::outOfMemory()
{
    // Each allocation of a run fails in turn: the run ends with one error that says so, writes
    // nothing, leaves no file behind and keeps the earlier pair; or the failure was met where
    // it is harmless and the run succeeds.
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    QByteArray text = lampNet.left(lampNet.size() - 2);
    for (int i = 0; i < 30; ++i)
        text += "p 1 2 Q" + QByteArray::number(i) + " 1 n {[Sortie]} e\n";
    writeFile(dir.filePath("n.ndr"), text + "h\n");
    const ConversionJob job {local(dir.filePath("n.ndr")), local(dir.path()), "n"};
    for (OutputFormat format : {OutputFormat::St, OutputFormat::Pou}) {
        ConversionJob formatted = job;
        formatted.format = format;
        const QString program = QString::fromStdString(programFileName("n", format));
        writeFile(dir.filePath("n.log"), "ancien");
        writeFile(dir.filePath(program), "ancien");
        const long counted = 1L << 40;
        allocationsBeforeFailure = counted;
        convertNet(formatted, nullptr);
        const long allocations = counted - allocationsBeforeFailure.exchange(-1);
        QVERIFY(allocations > 100);
        int failed = 0;
        for (long k = 0; k < allocations; ++k) {
            writeFile(dir.filePath("n.log"), "ancien");
            writeFile(dir.filePath(program), "ancien");
            allocationsBeforeFailure = k;
            const ConversionResult result = convertNet(formatted, nullptr);
            allocationsBeforeFailure = -1;
            const QStringList after = entriesIn(dir);
            if (result.written) {
                QCOMPARE(after, QStringList({"n.log", "n.ndr", program}));
                continue;
            }
            ++failed;
            QCOMPARE(result.diagnostics.size(), size_t(1));
            QCOMPARE(QString::fromStdString(result.diagnostics.at(0).format()),
                     QString::fromStdString(job.netPath)
                         + ": erreur: mémoire insuffisante : la conversion est abandonnée, "
                           "rien n'est écrit");
            QVERIFY2(after == QStringList({"n.log=ancien", "n.ndr", program + "=ancien"}),
                     qPrintable(QString::number(k) + ": " + after.join(' ')));
        }
        QVERIFY(failed > allocations / 2);
        QVERIFY(dir.remove(program));
    }
}

void TestRun::commitRollsBack_data()
{
    // Three staged files, a.part, b.part and c.part, for a (which holds "old a"), b and c; the
    // steps that fail ("FROM>TO" a rename, "PATH>" a removal, a commit's own names as
    // .trilette-X), then what the commit says and leaves.
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<bool>("committed");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<QStringList>("after");
    const QString notPaired = " contient la nouvelle version sans l'autre fichier de sa paire : ";
    const QString aside = "<dir>/.trilette-X.old";
    QTest::newRow("all in place") << QStringList() << true << QStringList()
                                  << QStringList {"a=new a", "b=new b", "c=new c"};
    QTest::newRow("the last cannot take its name: the others are put back")
        << QStringList {"c.part>c"} << false << QStringList() << QStringList {"a=old a"};
    QTest::newRow("an earlier version cannot be put back")
        << QStringList {"c.part>c", ".trilette-X.old>a"} << false
        << QStringList {"<dir>/a:" + notPaired
                        + "l'ancienne n'a pas pu être remise en place et reste sous le nom " + aside
                        + " (permission refusée)"}
        << QStringList {".trilette-X.old=old a", "a=new a"};
    QTest::newRow("a new file and a staged one cannot be removed")
        << QStringList {"c.part>c", "b>", "c.part>"} << false
        << QStringList {"<dir>/c.part: fichier temporaire qui n'a pas pu être retiré (permission "
                        "refusée)",
                        "<dir>/b:" + notPaired
                            + "elle n'a pas pu être retirée (permission refusée)"}
        << QStringList {"a=old a", "b=new b", "c.part=new c"};
    QTest::newRow("the first cannot take its name nor get its earlier version back")
        << QStringList {"a.part>a", ".trilette-X.old>a"} << false
        << QStringList {"<dir>/a: manque : l'ancienne version n'a pas pu être remise en place et "
                        "reste sous le nom "
                        + aside + " (permission refusée)"}
        << QStringList {".trilette-X.old=old a"};
    QTest::newRow("in place, but the earlier version cannot be removed")
        << QStringList {".trilette-X.old>"} << true
        << QStringList {aside
                        + ": ancienne version qui n'a pas pu être retirée (permission "
                          "refusée)"}
        << QStringList {".trilette-X.old=old a", "a=new a", "b=new b", "c=new c"};
}

namespace {

QStringList faults;

QString commitName(const std::string &path)
{
    return QString::fromStdString(fileNameOf(path))
        .replace(QRegularExpression("\\.trilette-[a-z0-9]{8}"), ".trilette-X");
}

int injectedFault(const std::string &from, const std::string &to)
{
    return faults.contains(commitName(from) + '>' + (to.empty() ? QString() : commitName(to)))
        ? EACCES
        : 0;
}

} // namespace

void TestRun::commitRollsBack()
{
    QFETCH(QStringList, faults);
    QFETCH(bool, committed);
    QFETCH(QStringList, left);
    QFETCH(QStringList, after);
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    for (const char *name : {"a.part", "b.part", "c.part"})
        writeFile(dir.filePath(name), QByteArray("new ") + name[0]);
    writeFile(dir.filePath("a"), "old a");
    std::vector<StagedFile> files;
    for (const char *name : {"a", "b", "c"})
        files.push_back({local(dir.filePath(name + QString(".part"))), local(dir.filePath(name))});
    ::faults = faults;
    commitStepFault = &injectedFault;
    CommitReport report;
    const bool done = commitFiles(files, report);
    commitStepFault = nullptr;
    QCOMPARE(done, committed);
    QCOMPARE(QString::fromStdString(report.failed),
             committed ? QString() : dir.filePath(faults[0].section('>', 1)));
    QStringList seen, found;
    for (const LeftFile &file : report.left)
        seen << QString::fromStdString(file.path + ": " + file.state)
                    .replace(dir.path(), "<dir>")
                    .replace(QRegularExpression("\\.trilette-[a-z0-9]{8}"), ".trilette-X");
    QCOMPARE(seen, left);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
        found << commitName(name.toStdString()) + '=' + contents(dir.filePath(name));
    QCOMPARE(found, after);
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

namespace {

/// A net of `chains` places marked, each feeding a transition into a place that names an
/// output: about 120 bytes a chain.
QByteArray chainNet(int chains)
{
    QByteArray net;
    for (int i = 0; i < chains; ++i)
        net += QStringLiteral("p 0 0 P%1 1 n\np 0 0 Q%1 0 n [Lampe%1] e\nt 0 0 T%1 c 0 w n "
                              "[start;] w\ne P%1 T%1 1 n\ne T%1 Q%1 1 n\n")
                   .arg(i)
                   .toLatin1();
    return net + "h reseau\n";
}

/// Cancels the run at its first progress value from `at` on, and counts the values after.
struct CancelAt : ConversionObserver
{
    explicit CancelAt(int from)
        : at(from)
    { }
    void progress(int value) override
    {
        if (cancel)
            ++after;
        else if (value >= at)
            cancel = true;
    }
    void debugLine(const std::string &) override { }
    bool cancelled() override { return cancel; }
    const int at;
    std::atomic<bool> cancel {false};
    std::atomic<int> after {0};
};

} // namespace

void TestRun::cancelStopsSoon_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("at");
    const char *names[] = {"st", "pou", "plcopen"};
    for (int format = 0; format < 3; ++format) {
        QTest::addRow("%s, while reading", names[format]) << format << 1;
        QTest::addRow("%s, while writing", names[format]) << format << 51; // past the reading
    }
}

// A run cancelled at its first progress value, while it reads or once it writes, stops within
// a block: the reader or the output stops, few values follow, and nothing is written.
void TestRun::cancelStopsSoon()
{
    QFETCH(int, format);
    QFETCH(int, at);
    QTemporaryDir dir;
    const QString net = dir.filePath("usine.ndr");
    writeFile(net, chainNet(40000)); // 4.6 MB read in 1 MB blocks; 11 MB of outputs
    ConversionJob job {local(net), local(dir.path()), "usine"};
    job.format = OutputFormat(format);
    const QString program = QString::fromStdString(programFileName("usine", job.format));
    writeFile(dir.filePath("usine.log"), "ancien");
    writeFile(dir.filePath(program), "ancien");
    CancelAt observer(at);
    const ConversionResult result = convertNet(job, nullptr, &observer);
    QVERIFY(observer.cancel);
    QVERIFY(result.cancelled && !result.written);
    QVERIFY2(observer.after <= 1, qPrintable(QString::number(observer.after)));
    QStringList expected {"usine.log=ancien", "usine.ndr", program + "=ancien"};
    expected.sort();
    QCOMPARE(entriesIn(QDir(dir.path())), expected);
}

// The work that passes no block to an output hears a stop too: the search for a complete
// program's names every few thousand names, and the PLCopen writer, which builds its whole
// document first, before it passes on any byte.
void TestRun::longWorkHearsStop()
{
    Net net;
    QCOMPARE(readNetText(chainNet(20000).toStdString(), "usine.ndr", net, nullptr),
             ReadResult::Done);
    struct Stop
    {
    };
    Diagnostics found;
    int calls = 0;
    const ProgramSymbols symbols(net, "usine", TimeUnit::Seconds, "usine.ndr", found,
                                 [&calls] { ++calls; });
    // 40,000 places and 20,000 transitions, each met in several loops.
    QVERIFY2(calls >= 40, qPrintable(QString::number(calls)));
    bool stopped = false;
    try {
        ProgramSymbols(net, "usine", TimeUnit::Seconds, "usine.ndr", found, [] { throw Stop(); });
    } catch (const Stop &) {
        stopped = true;
    }
    QVERIFY(stopped);

    std::string written;
    TextSink out([&written](std::string_view block) {
        written.append(block);
        return true;
    });
    std::vector<size_t> writtenAtCalls;
    writePlcOpen(net, symbols, "usine.ndr", out, [&] { writtenAtCalls.push_back(written.size()); });
    out.flush();
    QVERIFY(written.size() > 2 * TextSink::blockSize);
    QVERIFY2(writtenAtCalls.size() >= 3, qPrintable(QString::number(writtenAtCalls.size())));
    QCOMPARE(writtenAtCalls.back(), size_t(0));
}

QTEST_APPLESS_MAIN(TestRun)
#include "tst_run.moc"
