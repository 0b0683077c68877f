// The conversion run and the I/O under it: outputs replaced in pairs or not at all, the base-name
// rule, text written in large blocks, diagnostics that keep their texts, a cancel heard soon.

#include "codegen/plcopenwriter.h"
#include "net/netreader.h"
#include "run/conversion.h"
#include "tests/netdump.h"
#include "tests/support/chainnet.h"
#include "util/diagnostic.h"
#include "util/fileio.h"

#include "tests/support/chainnet.h"
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

std::string local(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

void writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

/// Everything in a folder, hidden files too, sorted: a folder as NAME/, a file that holds
/// "ancien" as NAME=ancien.
QStringList entriesIn(const QDir &dir)
{
    QStringList found;
    for (const QFileInfo &info :
         dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name))
        found << info.fileName()
                + (info.isDir()                                ? "/"
                       : contents(info.filePath()) == "ancien" ? "=ancien"
                                                               : "");
    return found;
}

const QByteArray lampNet = "p 1 2 P1 1 n\np 1 2 P2 0 n {[Lamp]} e\nt 1 2 T1 0 w n\n"
                           "e P1 T1 1 n\ne T1 P2 1 n\nh\n";

/// A folder holding the lamp net as n.ndr and an earlier pair of outputs holding "ancien".
struct Folder
{
    QTemporaryDir tmp;
    QDir dir {tmp.path()};
    ConversionJob job {local(dir.filePath("n.ndr")), local(dir.path()), "n"};
    explicit Folder(const QByteArray &net = lampNet, OutputFormat format = OutputFormat::St)
    {
        job.format = format;
        writeFile(dir.filePath("n.ndr"), net);
        earlierPair();
    }
    QString program() const { return QString::fromStdString(programFileName("n", job.format)); }
    void earlierPair()
    {
        writeFile(dir.filePath("n.log"), "ancien");
        writeFile(dir.filePath(program()), "ancien");
    }
    QStringList untouched() const
    {
        QStringList expected {"n.log=ancien", "n.ndr", program() + "=ancien"};
        expected.sort();
        return expected;
    }
};

} // namespace

class TestRun : public QObject
{
    Q_OBJECT

private slots:
    void outputPairs_data();
    void outputPairs();
    void concurrentRunsKeepPairs();
    void unreadableFolderLocked();
    void longBaseNames();
    void outOfMemory();
    void observerThrows();
    void commitRollsBack_data();
    void commitRollsBack();
    void deadRunsLeftovers_data();
    void deadRunsLeftovers();
    void baseNames();
    void quotedTexts();
    void sinkWritesLargeBlocks();
    void netMoves();
    void diagnosticsKeepTheirTexts();
    void cancelStopsSoon_data();
    void cancelStopsSoon();
    void longWorkHearsStop();
};

void TestRun::outputPairs_data()
{
    // A folder in the way of one output of the pair: the run says so, and the other output's
    // earlier version stays.
    QTest::addColumn<QString>("inTheWay");
    QTest::newRow("program") << "n_ST.txt";
    QTest::newRow("log") << "n.log";
}

void TestRun::outputPairs()
{
    QFETCH(QString, inTheWay);
    Folder folder;
    QVERIFY(folder.dir.remove(inTheWay) && folder.dir.mkdir(inTheWay));
    const ConversionResult result = convertNet(folder.job, nullptr);
    QVERIFY(!result.written && result.diagnostics.size() == 1);
    QCOMPARE(QString::fromStdString(result.diagnostics.at(0).format()),
             folder.dir.filePath(inTheWay)
                 + ": erreur: impossible d'écrire le fichier : un dossier porte ce nom");
    QCOMPARE(entriesIn(folder.dir),
             folder.untouched().replaceInStrings(inTheWay + "=ancien", inTheWay + "/"));
}

namespace {

/// The steps of the commits made while it is set, by thread; the first step of each thread
/// waits (for a while) until another thread has made one: two commits that do not take turns
/// then mix their steps.
struct Rendezvous
{
    std::mutex mutex;
    std::condition_variable met;
    std::vector<std::thread::id> steps;
} rendezvous;

int meetAtCommit(const std::string &, const std::string &)
{
    std::unique_lock<std::mutex> lock(rendezvous.mutex);
    std::vector<std::thread::id> &steps = rendezvous.steps;
    const std::thread::id me = std::this_thread::get_id();
    const bool first = std::find(steps.begin(), steps.end(), me) == steps.end();
    steps.push_back(me);
    rendezvous.met.notify_all();
    if (first)
        rendezvous.met.wait_for(lock, std::chrono::milliseconds(300), [&] {
            return std::any_of(steps.begin(), steps.end(), [&](auto id) { return id != me; });
        });
    return 0;
}

/// Two runs write outputs of the same names into `out` at the same time, round after round,
/// the first rounds meeting at their commits, the second through another spelling of the
/// folder: each succeeds, the commits take turns, and the pair in place always comes from one
/// of them, whole.
void concurrentRuns(const QString &nets, const QString &out, int rounds)
{
    QDir dir(nets);
    QByteArray alpha, beta;
    for (int i = 0; i < 3000; ++i) {
        alpha += "p 1 2 Alpha" + QByteArray::number(i) + " 1 n\n";
        beta += "p 1 2 Beta" + QByteArray::number(i) + " 0 n\n";
    }
    writeFile(dir.filePath("alpha.ndr"), alpha + "h\n");
    writeFile(dir.filePath("beta.ndr"), beta + "h\n");
    for (int round = 0; round < rounds; ++round) {
        rendezvous.steps.clear();
        commitStepFault = round < 2 ? &meetAtCommit : nullptr;
        ConversionResult results[2];
        auto run = [&](int which, const char *net, const QString &folder) {
            results[which] = convertNet({local(dir.filePath(net)), local(folder), "n"}, nullptr);
        };
        std::thread second(run, 1, "beta.ndr", out + "/../" + QFileInfo(out).fileName());
        run(0, "alpha.ndr", out);
        second.join();
        commitStepFault = nullptr;
        for (const ConversionResult &result : results)
            QVERIFY2(result.written && result.diagnostics.empty(),
                     result.diagnostics.empty() ? "" : result.diagnostics.at(0).format().c_str());
        const auto &steps = rendezvous.steps;
        QVERIFY(round >= 2 || std::is_partitioned(steps.begin(), steps.end(), [&](auto id) {
                    return id == steps.front();
                }));
        QDir outputs(out);
        if (QFileInfo(out).isReadable())
            QCOMPARE(outputs.entryList(QDir::Files | QDir::Hidden, QDir::Name),
                     QStringList({"n.log", "n_ST.txt"}));
        const bool fromAlpha = contents(outputs.filePath("n.log")).contains("Alpha0");
        const QByteArray program = contents(outputs.filePath("n_ST.txt"));
        QCOMPARE(contents(outputs.filePath("n.log")).contains("Beta"), !fromAlpha);
        QCOMPARE(program.contains("Alpha"), fromAlpha);
        QCOMPARE(program.contains("Beta"), !fromAlpha);
    }
}

} // namespace

void TestRun::concurrentRunsKeepPairs()
{
    QTemporaryDir tmp;
    QVERIFY(QDir(tmp.path()).mkdir("out"));
    concurrentRuns(tmp.path(), tmp.filePath("out"), 10);
}

void TestRun::unreadableFolderLocked()
{
    // The same into a folder that can be written but not read, by a user who cannot read it.
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    QVERIFY(dir.mkdir("nets") && dir.mkdir("out"));
    QVERIFY(::chmod(local(tmp.path()).c_str(), 0755) == 0
            && ::chmod(local(dir.filePath("nets")).c_str(), 0777) == 0
            && ::chmod(local(dir.filePath("out")).c_str(), 0333) == 0);
    if (geteuid() != 0)
        return concurrentRuns(dir.filePath("nets"), dir.filePath("out"), 3);
    const passwd *nobody = getpwnam("nobody");
    if (!nobody)
        QSKIP("no user « nobody » to run as");
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)
            _exit(2);
        concurrentRuns(dir.filePath("nets"), dir.filePath("out"), 3);
        _exit(QTest::currentTestFailed() ? 1 : 0);
    }
    int status = 0;
    QVERIFY(child > 0 && waitpid(child, &status, 0) == child);
    struct stat out;
    if (::stat(local(dir.filePath("out")).c_str(), &out) == 0)
        removeFile("/tmp/trilette-" + std::to_string(out.st_dev) + "-" + std::to_string(out.st_ino)
                   + ".lock");
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

void TestRun::longBaseNames()
{
    // Outputs whose names come close to the system's limit of 255 bytes replace their earlier
    // versions run after run: no name made from them for the commit is longer than they are.
    Folder folder;
    for (int length : {239, 243, 247}) {
        ConversionJob job = folder.job;
        job.baseName = std::string(size_t(length), 'b');
        for (int run = 0; run < 2; ++run) {
            const ConversionResult result = convertNet(job, nullptr);
            QVERIFY(result.written && result.diagnostics.empty());
        }
        const QString name = QString::fromStdString(job.baseName);
        QCOMPARE(entriesIn(folder.dir),
                 QStringList({name + ".log", name + "_ST.txt"}) + folder.untouched());
        QVERIFY(folder.dir.remove(name + ".log") && folder.dir.remove(name + "_ST.txt"));
    }
}

void TestRun::outOfMemory()
{
    // Each allocation of a run fails in turn: the run ends with one error that says so, writes
    // nothing, leaves no file behind and keeps the earlier pair; or the failure was met where
    // it is harmless and the run succeeds.
    QByteArray text = lampNet.left(lampNet.size() - 2);
    for (int i = 0; i < 30; ++i)
        text += "p 1 2 Q" + QByteArray::number(i) + " 1 n {[Sortie]} e\n";
    for (OutputFormat format : {OutputFormat::St, OutputFormat::Pou}) {
        Folder folder(text + "h\n", format);
        const long counted = 1L << 40;
        allocationsBeforeFailure = counted;
        convertNet(folder.job, nullptr);
        const long allocations = counted - allocationsBeforeFailure.exchange(-1);
        QVERIFY(allocations > 100);
        int failed = 0;
        for (long k = 0; k < allocations; ++k) {
            folder.earlierPair();
            allocationsBeforeFailure = k;
            const ConversionResult result = convertNet(folder.job, nullptr);
            allocationsBeforeFailure = -1;
            const QStringList after = entriesIn(folder.dir);
            if (result.written) {
                QCOMPARE(after, folder.untouched().replaceInStrings("=ancien", ""));
                continue;
            }
            ++failed;
            QCOMPARE(result.diagnostics.size(), size_t(1));
            QCOMPARE(QString::fromStdString(result.diagnostics.at(0).format()),
                     QString::fromStdString(folder.job.netPath)
                         + ": erreur: mémoire insuffisante : la conversion est abandonnée, "
                           "rien n'est écrit");
            QVERIFY2(after == folder.untouched(),
                     qPrintable(QString::number(k) + ": " + after.join(' ')));
        }
        QVERIFY(failed > allocations / 2);
    }
}

void TestRun::observerThrows()
{
    // The window's cancel check throws on the calling thread, at each of the times it is asked
    // there in turn (reading, then the checks that share the net with the second thread): the
    // exception reaches the caller once the second thread has ended, and the folder is as it was.
    struct Throwing : ConversionObserver
    {
        std::thread::id caller = std::this_thread::get_id();
        std::atomic<int> asked {0};
        int throwAt = -1;
        void progress(int) override { }
        void debugLine(const std::string &) override { }
        bool cancelled() override
        {
            if (std::this_thread::get_id() == caller && ++asked == throwAt)
                throw std::runtime_error("lancée");
            return false;
        }
    };
    Folder folder;
    Throwing counting;
    QVERIFY(convertNet(folder.job, nullptr, &counting).written);
    QVERIFY(counting.asked >= 2);
    for (int k = 1; k <= counting.asked; ++k) {
        folder.earlierPair();
        Throwing throwing;
        throwing.throwAt = k;
        QVERIFY_EXCEPTION_THROWN(convertNet(folder.job, nullptr, &throwing), std::runtime_error);
        QCOMPARE(entriesIn(folder.dir), folder.untouched());
        QVERIFY(convertNet(folder.job, nullptr).written);
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
    QTest::newRow("no hard links: the first cannot take its name nor get its earlier version back")
        << QStringList {"a.part>a", "a>+.trilette-X.old", ".trilette-X.old>a"} << false
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
    QTest::newRow("the earlier version goes before it is set aside: there was none")
        << QStringList {"a>+.trilette-X.old=gone"} << true << QStringList()
        << QStringList {"a=new a", "b=new b", "c=new c"};
}

namespace {

QStringList faults;

const QRegularExpression commitTag("\\.trilette-[a-z0-9]{8}(-[a-z0-9]{8})?");

QString commitName(const std::string &path)
{
    return QString::fromStdString(fileNameOf(path)).replace(commitTag, ".trilette-X");
}

/// A commit's step as the faults name it: "FROM>TO" a rename, "FROM>+TO" a link, "PATH>" a
/// removal, a commit's own names as .trilette-X.
QString commitStep(const std::string &from, const std::string &to)
{
    if (!to.empty() && to[0] == '+')
        return commitName(from) + ">+" + commitName(to.substr(1));
    return commitName(from) + '>' + (to.empty() ? QString() : commitName(to));
}

/// A step of `faults` fails: a link as where the file system has none, the others as when
/// permission is refused; "STEP=gone" removes the file first and lets the step go on.
int injectedFault(const std::string &from, const std::string &to)
{
    const QString step = commitStep(from, to);
    if (faults.contains(step + "=gone")) {
        removeFile(from);
        return 0;
    }
    return !faults.contains(step) ? 0 : step.contains(">+") ? EPERM : EACCES;
}

/// The step at which a forked run ends as if killed.
QString deathStep;

int dieAtStep(const std::string &from, const std::string &to)
{
    if (commitStep(from, to) == deathStep)
        _exit(9);
    return injectedFault(from, to);
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
    // b's folder spelled otherwise: one folder still, locked once.
    const QString other = tmp.path() + "/../" + QFileInfo(tmp.path()).fileName();
    std::vector<StagedFile> files;
    for (const char *name : {"a", "b", "c"})
        files.push_back({local(dir.filePath(name + QString(".part"))),
                         local((name[0] == 'b' ? other : dir.path()) + '/' + name)});
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
                    .replace(other, "<dir>")
                    .replace(dir.path(), "<dir>")
                    .replace(commitTag, ".trilette-X");
    QCOMPARE(seen, left);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
        found << commitName(name.toStdString()) + '=' + contents(dir.filePath(name));
    QCOMPARE(found, after);
}

void TestRun::deadRunsLeftovers_data()
{
    // A run over an earlier pair is killed at a step of its commit (the faults before it as in
    // commitRollsBack); a later run, with faults of its own, then leaves the folder as shown.
    QTest::addColumn<QStringList>("killedRun");
    QTest::addColumn<QStringList>("laterRun");
    QTest::addColumn<QStringList>("after");
    const QStringList newPair {"n.log", "n.ndr", "n_ST.txt"};
    QTest::newRow("killed while writing: its part files go")
        << QStringList {"n.log>+.trilette-X.old"} << QStringList() << newPair;
    QTest::newRow("killed with the earlier log linked aside: that copy goes")
        << QStringList {".trilette-X.part>n_ST.txt"} << QStringList() << newPair;
    QTest::newRow("killed with the earlier log moved aside (no hard links): it comes back")
        << QStringList {"n.log>+.trilette-X.old", ".trilette-X.part>n.log"}
        << QStringList {".trilette-X.part>n_ST.txt"}
        << QStringList {"n.log=ancien", "n.ndr", "n_ST.txt=ancien"};
}

void TestRun::deadRunsLeftovers()
{
    QFETCH(QStringList, killedRun);
    QFETCH(QStringList, laterRun);
    QFETCH(QStringList, after);
    Folder folder;
    const pid_t child = fork();
    if (child == 0) {
        faults = killedRun.mid(0, killedRun.size() - 1);
        deathStep = killedRun.last();
        commitStepFault = &dieAtStep;
        convertNet(folder.job, nullptr);
        _exit(0);
    }
    int status = 0;
    QVERIFY(child > 0 && waitpid(child, &status, 0) == child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 9);
    QVERIFY(entriesIn(folder.dir).filter(".trilette-").size() >= 2);
    faults = laterRun;
    commitStepFault = &injectedFault;
    const ConversionResult result = convertNet(folder.job, nullptr);
    commitStepFault = nullptr;
    QCOMPARE(result.written, laterRun.isEmpty());
    QCOMPARE(entriesIn(folder.dir), after);
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
        {"a\xFF\xC0\xAF\xED\xA0\x80\xC3\xA9", std::string::npos,
         "« a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xC3\xA9 »"},
        {a39 + "a", 40, "« " + a39 + "a »"},
        {a39 + "ab", 40, "« " + a39 + "a… »"},
        {a39 + "\xC3\xA9", 40, "« " + a39 + "… »"},
        {a39 + "\xFF\xFF", 40, "« " + a39 + "\xEF\xBF\xBD… »"},
    };
    for (const auto &c : cases)
        QCOMPARE(bytes(quoted(c.text, c.limit)), bytes(c.shown));
}

void TestRun::sinkWritesLargeBlocks()
{
    // 7 MB through put() and format() in small pieces reach the writer in blocks of at least
    // TextSink::blockSize, the last one on flush(); a writer that fails is remembered; the text
    // of a sink that holds nothing yet appends nothing (UndefinedBehaviorSanitizer watches).
    std::vector<size_t> writes;
    QByteArray written;
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
    QCOMPARE(written.size(), 500000 * 14);
    QCOMPARE(writes.size(), size_t(written.size() / TextSink::blockSize + 1));
    QVERIFY(std::all_of(writes.begin(), writes.end() - 1,
                        [](size_t size) { return size >= TextSink::blockSize; }));

    TextSink failing([](std::string_view) {
        errno = ENOSPC;
        return false;
    });
    failing.put("x");
    QVERIFY(!failing.flush());
    QCOMPARE(failing.writeError(), ENOSPC);

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
    Net third;
    third = std::move(second);
    QCOMPARE(dumpNet(third), dump);
    QCOMPARE(third.findTransition("T1"), third.firstTransition());
}

void TestRun::diagnosticsKeepTheirTexts()
{
    // Messages of every length around the 64 KB chunks the texts are kept in, and more distinct
    // endings than an entry can number, some shared, through the merge and the copy a conversion
    // makes: each reads back as it was given.
    const std::string common = " : fin commune";
    std::vector<std::string> endings;
    for (int i = 0; i < 70000; ++i)
        endings.push_back(" : fin " + std::to_string(i));
    Diagnostics diagnostics[2];
    std::vector<std::string> said[2];
    int line = 1;
    auto add = [&](int into, const std::string &message, std::string_view tail) {
        diagnostics[into].add(Severity::Warning, "n.ndr", line, 0, message, tail);
        said[into].push_back("n.ndr:" + std::to_string(line++) + ": avertissement: " + message
                             + std::string(tail));
    };
    for (size_t size : {0, 10, 65535, 65536, 65537, 200000, 3})
        add(0, std::string(size, char('a' + line % 26)), line % 2 ? common : std::string_view());
    for (size_t i = 0; i < endings.size(); ++i)
        add(i % 2, "m", endings[i]);
    add(1, std::string(70000, 'z'), common);
    diagnostics[0].append(std::move(diagnostics[1]));
    said[0].insert(said[0].end(), said[1].begin(), said[1].end());
    add(0, "m", endings.back());
    diagnostics[0].add(Severity::Error, "autre.ndr", 0, 0, "après la fusion");
    said[0].push_back("autre.ndr: erreur: après la fusion");
    Diagnostics &all = diagnostics[0];
    const Diagnostics copy = all;
    for (const Diagnostics *d : std::initializer_list<const Diagnostics *> {&all, &copy}) {
        QCOMPARE(d->size(), said[0].size());
        size_t i = 0;
        for (const Diagnostic &diagnostic : d->all())
            QVERIFY2(diagnostic.format() == said[0][i++], qPrintable(QString::number(i)));
    }
    all.makeWarningsErrors();
    QVERIFY(all.at(2).format()
            == "n.ndr:3: erreur: " + std::string(65535, 'd') + common + " [--werror]");
    all.keepFirst(1);
    QCOMPARE(all.size(), size_t(1));
}

namespace {

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
    Folder folder(chainNet(40000), OutputFormat(format)); // 4.6 MB read in 1 MB blocks; 11 MB out
    CancelAt observer(at);
    const ConversionResult result = convertNet(folder.job, nullptr, &observer);
    QVERIFY(observer.cancel);
    QVERIFY(result.cancelled && !result.written);
    QVERIFY2(observer.after <= 1, qPrintable(QString::number(observer.after)));
    QCOMPARE(entriesIn(folder.dir), folder.untouched());
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
    QVERIFY_EXCEPTION_THROWN(
        ProgramSymbols(net, "usine", TimeUnit::Seconds, "usine.ndr", found, [] { throw Stop(); }),
        Stop);

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
