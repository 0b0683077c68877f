// The conversion run and the I/O under it: outputs replaced in pairs or not at all, whatever
// fails or stops the run; names in UTF-8; diagnostics that keep their texts.

#include "codegen/plcopenwriter.h"
#include "net/netreader.h"
#include "run/conversion.h"
#include "tests/support/chainnet.h"
#include "util/fileio.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <condition_variable>
#include <thread>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace trilette;

namespace {

std::string local(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

void put(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
}

const QRegularExpression commitTag("\\.trilette-[a-z0-9]{8}(-[a-z0-9]{8})?");

/// Everything in a folder, sorted, one a line, a commit's own names as .trilette-X: a folder as
/// NAME/, a file of a few bytes as NAME=BYTES.
QString entriesIn(const QString &path)
{
    QString found;
    for (const QFileInfo &info : QDir(path).entryInfoList(
             QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name)) {
        QFile file(info.filePath());
        const QString text = file.open(QIODevice::ReadOnly) ? file.read(9) : "";
        const QString tail = info.isDir() ? "/" : text.size() < 9 ? "=" + text : "";
        found += info.fileName().replace(commitTag, ".trilette-X") + tail + '\n';
    }
    return found;
}

/// The exit status of a child process that runs `work`: 1 when it failed a check.
int inChild(const std::function<void()> &work)
{
    int status = 0;
    const pid_t child = fork();
    if (child == 0) {
        work();
        _exit(QTest::currentTestFailed() ? 1 : 0);
    }
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)
        ? WEXITSTATUS(status)
        : -1;
}

const QByteArray lampNet = "p 1 2 P1 1 n\np 1 2 P2 0 n {[Lamp]} e\nt 1 2 T1 0 w n\n"
                           "e P1 T1 1 n\ne T1 P2 1 n\nh\n";

/// A folder holding a net as n.ndr and an earlier pair of outputs holding "ancien".
struct Folder
{
    QTemporaryDir tmp;
    ConversionJob job {local(tmp.filePath("n.ndr")), local(tmp.path()), "n"};
    explicit Folder(const QByteArray &net = lampNet, OutputFormat format = OutputFormat::St)
    {
        job.format = format;
        put(tmp.filePath("n.ndr"), net);
        earlierPair();
    }
    QString program() const { return QString::fromStdString(programFileName("n", job.format)); }
    void earlierPair()
    {
        put(tmp.filePath("n.log"), "ancien");
        put(tmp.filePath(program()), "ancien");
    }
    QString untouched() const { return "n.log=ancien\nn.ndr\n" + program() + "=ancien\n"; }
    /// What a run says, the folder as <dir>, then what is in the folder.
    QString run(ConversionObserver *observer = nullptr)
    {
        const ConversionResult result = convertNet(job, nullptr, observer);
        QString said;
        for (const Diagnostic &d : result.diagnostics.all())
            said += QString::fromStdString(d.format()).replace(tmp.path(), "<dir>") + '\n';
        said.replace(commitTag, ".trilette-X");
        return said + entriesIn(tmp.path());
    }
};

/// The steps of the commits made while it is set, by thread; the first step of each thread
/// waits (for a while) until another thread has made one: two commits that do not take turns
/// then mix their steps.
std::mutex meeting;
std::condition_variable met;
std::vector<std::thread::id> steps;

int meetAtCommit(const std::string &, const std::string &)
{
    std::unique_lock<std::mutex> lock(meeting);
    const std::thread::id me = std::this_thread::get_id();
    const bool first = std::find(steps.begin(), steps.end(), me) == steps.end();
    steps.push_back(me);
    met.notify_all();
    if (first)
        met.wait_for(lock, std::chrono::milliseconds(300),
                     [&] { return steps.front() != me || steps.back() != me; });
    return 0;
}

/// Runs of a.ndr and b.ndr write outputs of the same names into `out` at the same time, round
/// after round, the first rounds meeting at their commits, the second through another spelling
/// of the folder: each succeeds, the commits take turns, and the pair in place always comes
/// from one of them, whole.
void concurrentRuns(const QString &nets, const QString &out, int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        steps.clear();
        commitStepFault = round < 2 ? &meetAtCommit : nullptr;
        bool written[2];
        auto run = [&](int which, const QString &folder) {
            const QString net = nets + (which ? "/b.ndr" : "/a.ndr");
            written[which] = convertNet({local(net), local(folder), "n"}, nullptr).written;
        };
        std::thread second(run, 1, out + "/../" + QFileInfo(out).fileName());
        run(0, out);
        second.join();
        commitStepFault = nullptr;
        QFile log(out + "/n.log"), program(out + "/n_ST.txt");
        QVERIFY(written[0] && written[1] && log.open(QIODevice::ReadOnly)
                && program.open(QIODevice::ReadOnly)
                && std::is_partitioned(steps.begin(), steps.end(),
                                       [&](auto id) { return id == steps.front(); }));
        QVERIFY(!QFileInfo(out).isReadable() || entriesIn(out) == "n.log\nn_ST.txt\n");
        QCOMPARE(log.readAll().contains("Q1499"), program.readAll().contains("Q1499"));
    }
}

/// The commit steps that fail: "FROM>TO" a rename, "FROM>+TO" a link (as where the file system
/// has none), "PATH>" a removal, a commit's own names as .trilette-X; "STEP=gone" removes the
/// file first and lets the step go on; at `deathStep` the process ends as if killed.
QStringList faults;
QString deathStep;

int injectedFault(const std::string &from, const std::string &to)
{
    const QString step
        = QString::fromStdString(fileNameOf(from) + '>'
                                 + (to[0] == '+' ? "+" + fileNameOf(to) : fileNameOf(to)))
              .replace(commitTag, ".trilette-X");
    if (step == deathStep)
        _exit(9);
    if (faults.contains(step + "=gone"))
        removeFile(from);
    return !faults.contains(step) ? 0 : step.contains(">+") ? EPERM : EACCES;
}

/// Cancels the run at its first progress value from `at` on, and counts the values after; or
/// throws on the calling thread the `throwAt`th time it is asked there.
struct Observer : ConversionObserver
{
    int at = 1000, throwAt = -1;
    std::atomic<bool> cancel {false};
    std::atomic<int> after {0}, asked {0};
    std::thread::id caller = std::this_thread::get_id();
    void progress(int value) override
    {
        after += cancel;
        cancel = cancel || value >= at;
    }
    void debugLine(const std::string &) override { }
    bool cancelled() override
    {
        if (std::this_thread::get_id() == caller && ++asked == throwAt)
            throw std::runtime_error("lancée");
        return cancel;
    }
};

} // namespace

class TestRun : public QObject
{
    Q_OBJECT

private slots:
    void concurrentRunsKeepPairs();
    void longBaseNames();
    void observerStopsTheRun();
    void commitRollsBack();
    void deadRunsLeftovers();
    void utf8Texts();
    void diagnosticsKeepTheirTexts();
};

void TestRun::concurrentRunsKeepPairs()
{
    QTemporaryDir tmp;
    const QString out = tmp.filePath("out");
    QVERIFY(QDir(tmp.path()).mkdir("out") && ::chmod(local(tmp.path()).c_str(), 0755) == 0);
    put(tmp.filePath("a.ndr"), chainNet(1000));
    put(tmp.filePath("b.ndr"), chainNet(1500));
    concurrentRuns(tmp.path(), out, 10);
    // Into a folder that can be written but not read, by a user who cannot read it.
    const passwd *nobody = getpwnam("nobody");
    QVERIFY(::chmod(local(out).c_str(), 0333) == 0);
    QCOMPARE(inChild([&] {
                 if (geteuid() == 0
                     && (!nobody || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0))
                     _exit(2);
                 concurrentRuns(tmp.path(), out, 3);
             }),
             0);
    struct stat folder;
    if (::stat(local(out).c_str(), &folder) == 0)
        removeFile("/tmp/trilette-" + std::to_string(folder.st_dev) + "-"
                   + std::to_string(folder.st_ino) + ".lock");
}

void TestRun::longBaseNames()
{
    // Outputs whose names come close to the system's limit of 255 bytes replace their earlier
    // versions run after run: no name made from them for the commit is longer than they are.
    Folder folder;
    for (int length : {239, 243, 247}) {
        const QString name(length, 'b');
        folder.job.baseName = local(name);
        const QString after = name + ".log\n" + name + "_ST.txt\n" + folder.untouched();
        QCOMPARE(folder.run() + folder.run(), after + after);
        QVERIFY(QFile::remove(folder.tmp.filePath(name + ".log"))
                && QFile::remove(folder.tmp.filePath(name + "_ST.txt")));
    }
    // A folder that is not there: the error names the output opened first, the log.
    folder.job = {folder.job.netPath, local(folder.tmp.filePath("absent")), "n"};
    QCOMPARE(folder.run(),
             "<dir>/absent/n.log: erreur: impossible d'écrire le fichier : fichier ou "
             "dossier introuvable\n"
                 + folder.untouched());
}

void TestRun::observerStopsTheRun()
{
    // A run cancelled at its first progress value, while it reads or once it writes (past 50),
    // stops within a block: few values follow, and nothing is written.
    for (OutputFormat format : {OutputFormat::St, OutputFormat::Pou, OutputFormat::PlcOpen}) {
        Folder folder(chainNet(40000), format); // 4.6 MB read in 1 MB blocks; 11 MB written
        for (int at : {1, 51}) {
            Observer observer;
            observer.at = at;
            QCOMPARE(folder.run(&observer),
                     "<dir>/n.ndr: note: conversion annulée : aucun fichier n'est écrit\n"
                         + folder.untouched());
            QVERIFY2(observer.after <= 1, qPrintable(QString::number(observer.after)));
        }
    }
    // The work that passes no block to an output hears a stop too: the search for a complete
    // program's names every few thousand names, and the PLCopen writer, which builds its whole
    // document before it passes on any byte.
    Net net;
    QCOMPARE(readNetText(chainNet(20000).toStdString(), "u.ndr", net, nullptr), ReadResult::Done);
    Diagnostics found;
    int calls = 0;
    const ProgramSymbols symbols(net, "u", TimeUnit::Seconds, "u.ndr", found, [&] { ++calls; });
    size_t written = 0;
    TextSink out([&](std::string_view block) { return written += block.size(); });
    std::vector<size_t> writtenAtCalls;
    writePlcOpen(net, symbols, "u.ndr", out, [&] { writtenAtCalls.push_back(written); });
    QVERIFY(out.flush() && written > 2 * TextSink::blockSize && writtenAtCalls.size() >= 3);
    QVERIFY(calls >= 40 && writtenAtCalls.back() == 0); // 60,000 names, each met in loops
    // The window's cancel check throws on the calling thread, at each of the times it is asked
    // there in turn (reading, then the checks that share the net with the second thread): the
    // exception reaches the caller once the second thread has ended, and the folder is as it was.
    Folder folder;
    Observer counting;
    QVERIFY(convertNet(folder.job, nullptr, &counting).written && counting.asked >= 2);
    for (int k = 1; k <= counting.asked; ++k) {
        folder.earlierPair();
        Observer throwing;
        throwing.throwAt = k;
        QVERIFY_EXCEPTION_THROWN(convertNet(folder.job, nullptr, &throwing), std::runtime_error);
        QCOMPARE(entriesIn(folder.tmp.path()), folder.untouched());
        QVERIFY(convertNet(folder.job, nullptr).written);
    }
}

void TestRun::commitRollsBack()
{
    // Three staged files, a.part, b.part and c.part, for a (which holds "old a"), b (in the
    // folder spelled otherwise: one folder still, locked once) and c; the steps that fail (see
    // `faults`), then what the commit says (the name that failed, the files left otherwise than
    // they should) and leaves.
    const QString notPaired = ": contient la nouvelle version sans l'autre fichier de sa paire : ",
                  putBack = "n'a pas pu être remise en place et reste sous le nom <dir>/"
                            ".trilette-X.old (permission refusée)\n";
    const QString cases[][2] = {
        {"", "a=new a\nb=new b\nc=new c\n"},
        // The last cannot take its name: the others are put back.
        {"c.part>c", "échec <dir>/c\na=old a\n"},
        {"c.part>c .trilette-X.old>a",
         "échec <dir>/c\n<dir>/a" + notPaired + "l'ancienne " + putBack
             + ".trilette-X.old=old a\na=new a\n"},
        {"c.part>c b> c.part>",
         "échec <dir>/c\n<dir>/c.part: fichier temporaire qui n'a pas pu être retiré (permission "
         "refusée)\n<dir>/b"
             + notPaired
             + "elle n'a pas pu être retirée (permission refusée)\na=old a\nb=new b\nc.part=new "
               "c\n"},
        // No hard links: the first cannot take its name nor get its earlier version back.
        {"a.part>a a>+.trilette-X.old .trilette-X.old>a",
         "échec <dir>/a\n<dir>/a: manque : l'ancienne version " + putBack
             + ".trilette-X.old=old a\n"},
        {".trilette-X.old>",
         "<dir>/.trilette-X.old: ancienne version qui n'a pas pu être retirée (permission "
         "refusée)\n.trilette-X.old=old a\na=new a\nb=new b\nc=new c\n"},
        // The earlier version goes before it is set aside: there was none.
        {"a>+.trilette-X.old=gone", "a=new a\nb=new b\nc=new c\n"}};
    for (const auto &[fails, expected] : cases) {
        QTemporaryDir tmp;
        const QString other = tmp.path() + "/../" + QFileInfo(tmp.path()).fileName();
        std::vector<StagedFile> files;
        for (const QString name : {"a", "b", "c"}) {
            put(tmp.filePath(name + ".part"), "new " + name.toLatin1());
            files.push_back({local(tmp.filePath(name + ".part")),
                             local((name == "b" ? other : tmp.path()) + '/' + name)});
        }
        put(tmp.filePath("a"), "old a");
        faults = fails.split(' ');
        commitStepFault = &injectedFault;
        CommitReport report;
        QString seen = fails
            + (commitFiles(files, report)
                   ? "\n"
                   : "\néchec " + QString::fromStdString(report.failed) + '\n');
        commitStepFault = nullptr;
        for (const LeftFile &file : report.left)
            seen += QString::fromStdString(file.path + ": " + file.state + '\n');
        seen.replace(other, "<dir>").replace(tmp.path(), "<dir>").replace(commitTag, ".trilette-X");
        QCOMPARE(seen + entriesIn(tmp.path()), fails + '\n' + expected);
    }
}

void TestRun::deadRunsLeftovers()
{
    // A run over an earlier pair is killed at a step of its commit (the faults before it as in
    // commitRollsBack); a later run, with faults of its own, then says and leaves what is shown.
    const QString cases[][3] = {
        // Killed while writing: its part files go.
        {"n.log>+.trilette-X.old", "", "n.log\nn.ndr\nn_ST.txt\n"},
        // Killed with the earlier log linked aside: that copy goes.
        {".trilette-X.part>n_ST.txt", "", "n.log\nn.ndr\nn_ST.txt\n"},
        // Killed with the earlier log moved aside (no hard links): it comes back.
        {"n.log>+.trilette-X.old .trilette-X.part>n.log", ".trilette-X.part>n_ST.txt",
         "<dir>/n_ST.txt: erreur: impossible d'écrire le fichier : permission refusée\n"
         "n.log=ancien\nn.ndr\nn_ST.txt=ancien\n"},
        // Then the earlier log cannot be put back: an error, the run having failed.
        {"n.log>+.trilette-X.old", ".trilette-X.part>n_ST.txt .trilette-X.old>n.log",
         "<dir>/n_ST.txt: erreur: impossible d'écrire le fichier : permission "
         "refusée\n<dir>/n.log: "
         "erreur: contient la nouvelle version sans l'autre fichier de sa paire : l'ancienne n'a "
         "pas pu être remise en place et reste sous le nom <dir>/.trilette-X.old (permission "
         "refusée)\n.trilette-X.old=ancien\nn.log\nn.ndr\nn_ST.txt=ancien\n"}};
    for (const auto &[killed, later, after] : cases) {
        Folder folder;
        QCOMPARE(inChild([&] {
                     faults = killed.split(' ');
                     deathStep = faults.takeLast();
                     commitStepFault = &injectedFault;
                     convertNet(folder.job, nullptr);
                 }),
                 9);
        QVERIFY(entriesIn(folder.tmp.path()).count(".trilette-") >= 2);
        faults = later.split(' ');
        commitStepFault = &injectedFault;
        QCOMPARE(killed + '\n' + folder.run(), killed + '\n' + after);
        commitStepFault = nullptr;
    }
}

void TestRun::utf8Texts()
{
    // Base names: the file name less its last four characters, counted in UTF-8, a byte that is
    // no UTF-8 (a surrogate, an overlong form, a cut sequence, U+FFFE) as one. Names in
    // messages: blanks that braces protected shown again, bytes that are no UTF-8 replaced, a
    // long text cut on a character.
    const std::string names[][2] = {{"net\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xC3\xB1", "net"},
                                    {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", "\xC3\xA9"},
                                    {"\xF0\x9F\x98\x80\xC3\xA9\xC3\xA9\xC3\xA9", "Ex"},
                                    {"abcde\x80\x80", "abc"},
                                    {"abcd\xE2\x82", "ab"},
                                    {"abc\xED\xA0\x80", "ab"},
                                    {"abcdef\xE0\x80\xAF", "abcde"},
                                    {"abcdef\xEF\xBF\xBE", "abcde"},
                                    {"abcdef\xE2\x82\xC3", "abcde"}};
    for (const auto &[name, base] : names)
        QCOMPARE(QByteArray::fromStdString(baseNameFor(name)), QByteArray::fromStdString(base));
    const std::string a39(39, 'a'), bad = "\xEF\xBF\xBD";
    const std::tuple<std::string, size_t, std::string> quotes[]
        = {{"Data@packet", std::string::npos, "« Data packet »"},
           {"a\xFF\xC0\xAF\xED\xA0\x80\xC3\xA9", std::string::npos,
            "« a" + bad + bad + bad + bad + bad + bad + "\xC3\xA9 »"},
           {a39 + "a", 40, "« " + a39 + "a »"},
           {a39 + "ab", 40, "« " + a39 + "a… »"},
           {a39 + "\xC3\xA9", 40, "« " + a39 + "… »"},
           {a39 + "\xFF\xFF", 40, "« " + a39 + bad + "… »"}};
    for (const auto &[text, limit, shown] : quotes)
        QCOMPARE(QByteArray::fromStdString(quoted(text, limit)), QByteArray::fromStdString(shown));
}

void TestRun::diagnosticsKeepTheirTexts()
{
    // Messages of every length around the 64 KB chunks the texts are kept in, and more distinct
    // endings than an entry can number, some shared, through the merge and the copy a conversion
    // makes: each reads back as it was given.
    std::vector<std::string> endings(70000);
    Diagnostics diagnostics[2];
    std::vector<std::string> said[2];
    int line = 1;
    auto add = [&](int into, const std::string &message, std::string_view tail) {
        diagnostics[into].add(Severity::Warning, "n.ndr", line, 0, message, tail);
        said[into].push_back("n.ndr:" + std::to_string(line++) + ": avertissement: " + message
                             + std::string(tail));
    };
    for (size_t size : {0, 10, 65535, 65536, 65537, 200000, 3})
        add(0, std::string(size, char('a' + line % 26)), line % 2 ? " : fin commune" : "");
    for (size_t i = 0; i < endings.size(); ++i)
        add(i / 66000, "m", endings[i] = " : fin " + std::to_string(i));
    add(1, std::string(70000, 'z'), " : fin commune");
    diagnostics[0].append(std::move(diagnostics[1]));
    said[0].insert(said[0].end(), said[1].begin(), said[1].end());
    add(0, "m", endings.back());
    diagnostics[0].add(Severity::Error, "autre.ndr", 0, 0, "après la fusion");
    said[0].push_back("autre.ndr: erreur: après la fusion");
    const Diagnostics copy = diagnostics[0];
    QCOMPARE(copy.size(), said[0].size());
    for (size_t i = 0; i < said[0].size(); ++i)
        QVERIFY2(diagnostics[0].at(i).format() == said[0][i] && copy.at(i).format() == said[0][i],
                 qPrintable(QString::number(i)));
}

QTEST_APPLESS_MAIN(TestRun)
#include "tst_run.moc"
