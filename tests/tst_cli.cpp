// The command line, and bad input through it: the cases of tests/data/cli.cases, and nets too
// big to keep in a file (generated here). Each case runs trilette-cli in a fresh folder and
// checks its status, its whole standard output and error, every file afterwards and the
// contents of those that matter.

#include "tests/casefile.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

const QString dataDir = QStringLiteral(TRILETTE_SOURCE_DIR "/tests/data/");

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

QStringList filesIn(const QDir &dir)
{
    QStringList files;
    QDirIterator it(dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << dir.relativeFilePath(it.next());
    files.sort();
    return files;
}

/// A generated net that converts like tests/data/mini.ndr: one place A, input of one
/// transition T without predicate, declared at line `placeLine`.
TextCase generated(const char *name, const QByteArray &net, int placeLine,
                   const QByteArray &moreWarnings = {})
{
    // The variable As of the place A is a reserved word: st writes it with a warning.
    const QByteArray reserved = "n.ndr:" + QByteArray::number(placeLine)
        + ": avertissement: la place « A » : « As » est un mot réservé du ST, le programme ne "
          "compilera pas tel quel (le programme complet écrit « A_2p » et « A_2s »)\n";
    return {name,
            {{"file", "n.ndr", net},
             {"args", {}, "-q\nn.ndr\n"},
             {"status", {}, "0\n"},
             {"stderr", {}, reserved + moreWarnings},
             {"files", {}, "n.log\nn.ndr\nn_ST.txt\n"},
             {"golden", "n_ST.txt mini_ST.txt", {}}}};
}

QByteArray manyArcs()
{
    QByteArray net = "t 1 2 T 0 w n\n";
    for (int i = 0; i < 100000; ++i)
        net += "e P" + QByteArray::number(i) + " T 1 n\n";
    return net + "h\n";
}

const QString cli = QStringLiteral(TRILETTE_BIN_DIR "/trilette-cli");

bool put(const QDir &dir, const QString &name, const QByteArray &text)
{
    QFile file(dir.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

/// Runs trilette-cli with `args` in `workDir`, or with a `script`, that script in the shell
/// with "$0" naming trilette-cli. Empty when the run ended.
QByteArray run(const QString &workDir, const QStringList &args, QProcess &process,
               const QString &script = {})
{
    process.setWorkingDirectory(workDir);
    if (script.isEmpty())
        process.start(cli, args);
    else
        process.start("/bin/sh", {"-c", script, cli});
    return process.waitForFinished(600000) ? QByteArray() : QByteArray("the run did not end");
}

} // namespace

Q_DECLARE_METATYPE(TextCase)

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void cases_data();
    void cases();
    void manyArcsInOneGuard();
    void tracesBeforeDiagnostics();
    void outOfMemory();
    void interrupted_data();
    void interrupted();
    void standardOutputFull_data();
    void standardOutputFull();
    void diskFull_data();
    void diskFull();
};

void TestCli::cases_data()
{
    QTest::addColumn<TextCase>("c");
    QList<TextCase> all = readCaseFile(dataDir + "cli.cases");
    const QByteArray mini = "p 1 2 A 1 n\nt 1 2 T 0 w n\ne A T 1 n\nh\n";
    all << generated("a line of 50 MB", "a " + QByteArray(50 << 20, 'x') + "\n" + mini, 2)
        << generated("a million tokens on one line",
                     "p 1 2 A 1 n\nt 1 2 T 0 w" + QByteArray(2000000, ' ').replace("  ", " x")
                         + "\ne A T 1 n\nh\n",
                     1,
                     "n.ndr:2:15: avertissement: étiquette de la transition « T » non lue : elle "
                     "n'est pas là où l'éditeur met l'étiquette d'une transition (« t X Y NOM "
                     "[ANCRE] EFT LFT ANCRE {ÉTIQUETTE} ANCRE ») ; la transition tire sans "
                     "prédicat\n");
    // Lines the reader has warnings about, megabytes of them, then a NUL byte: the file is no
    // net, and gets its one error alone.
    all << TextCase {
        "a NUL byte after megabytes of lines",
        {{"file", "n.ndr", QByteArray("p\n").repeated(2 << 20) + QByteArray("x\0y\n", 4)},
         {"file", "n.log", "ancien journal\n"},
         {"args", {}, "-q\nn.ndr\n"},
         {"status", {}, "1\n"},
         {"stderr",
          {},
          "n.ndr: erreur: ce n'est pas un fichier texte (il contient un octet nul) : "
          "rien n'est écrit\n"},
         {"files", {}, "n.log\nn.ndr\n"},
         {"expect", "n.log", "ancien journal\n"}}};
    for (TextCase &c : all) {
        // "--- golden-stdout CASE": the standard output of an earlier case.
        if (const CaseSection *same = c.find("golden-stdout")) {
            for (const TextCase &earlier : all)
                if (earlier.name == QString::fromUtf8(same->argument))
                    c.sections.append({"stdout", {}, earlier.text("stdout")});
        }
        QTest::newRow(qPrintable(c.name)) << c;
    }
}

void TestCli::cases()
{
    QFETCH(TextCase, c);
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    for (const CaseSection &s : c.sections) {
        if (s.kind != "file")
            continue;
        const QString path = QString::fromUtf8(s.argument);
        QVERIFY(dir.mkpath(path.endsWith('/') ? path : QFileInfo(path).path()));
        QVERIFY(path.endsWith('/') || put(dir, path, s.text));
    }
    QStringList args = QString::fromUtf8(c.text("args")).split('\n');
    args.removeLast();

    QProcess process;
    QCOMPARE(run(dir.path(), args, process), QByteArray());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.readAllStandardError(), c.text("stderr"));
    QCOMPARE(process.readAllStandardOutput(), c.text("stdout"));
    QCOMPARE(process.exitCode(), c.text("status").trimmed().toInt());
    QCOMPARE(filesIn(dir).join('\n'), QString::fromUtf8(c.text("files").trimmed()));
    for (const CaseSection &s : c.sections) {
        const QList<QByteArray> names = s.argument.split(' ');
        if (s.kind == "expect")
            QCOMPARE(contents(dir.filePath(names[0])), s.text);
        else if (s.kind == "golden")
            QCOMPARE(contents(dir.filePath(names[0])), contents(dataDir + names.value(1)));
    }
}

void TestCli::manyArcsInOneGuard()
{
    QTemporaryDir tmp;
    QVERIFY(put(tmp.path(), "n.ndr", manyArcs()));
    QProcess process;
    QCOMPARE(run(tmp.path(), {"-q", "n.ndr"}, process), QByteArray());
    QCOMPARE(process.exitCode(), 0);
    const QList<QByteArray> lines = contents(tmp.filePath("n_ST.txt")).split('\n');
    QCOMPARE(lines.size(), 21 + 100000);
    const QByteArray guard = lines[8];
    QVERIFY(guard.startsWith("IF ( (P99999p>=1) AND  (P99998p>=1) AND "));
    QVERIFY(guard.endsWith(" (P0p>=1) AND (TRUE) ) THEN"));
    QCOMPARE(guard.count(" AND "), 100000);
}

// Standard output and standard error in one pipe: each net's traces come before its
// diagnostics, net after net, as when each is run alone.
void TestCli::tracesBeforeDiagnostics()
{
    QTemporaryDir tmp;
    for (const char *name : {"a.ndr", "b.ndr"})
        QVERIFY(put(tmp.path(), name, "p 1 2 A 1 n\nt 1 2 T 0 w n\nh\n"));
    QByteArray alone;
    for (const char *name : {"a.ndr", "b.ndr"}) {
        QProcess process;
        QCOMPARE(run(tmp.path(), {name}, process), QByteArray());
        const QByteArray out = process.readAllStandardOutput(),
                         err = process.readAllStandardError();
        QVERIFY(!out.isEmpty() && !err.isEmpty());
        alone += out + err;
    }
    QProcess both;
    both.setProcessChannelMode(QProcess::MergedChannels);
    QCOMPARE(run(tmp.path(), {"a.ndr", "b.ndr"}, both), QByteArray());
    QCOMPARE(both.readAllStandardOutput(), alone);
}

void TestCli::outOfMemory()
{
#if defined(__SANITIZE_ADDRESS__) || !defined(Q_OS_UNIX)
    QSKIP("needs a shell's memory limit, which AddressSanitizer's shadow memory does not fit");
#endif
    QTemporaryDir tmp;
    QVERIFY(put(tmp.path(), "n.ndr", QByteArray("p 0 0 P 1 n\n").repeated(1000000)));
    QProcess process;
    QCOMPARE(run(tmp.path(), {}, process, "ulimit -v 65536 && exec \"$0\" -q n.ndr"), QByteArray());
    QCOMPARE(process.readAllStandardError(),
             QByteArray("n.ndr: erreur: m\xc3\xa9moire insuffisante : la conversion est "
                        "abandonn\xc3\xa9"
                        "e, rien n'est \xc3\xa9"
                        "crit\n"));
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList {"n.ndr"});
}

void TestCli::interrupted_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

void TestCli::interrupted()
{
    // Interrupted while it writes its outputs, the run ends by the signal and leaves nothing.
#ifndef Q_OS_UNIX
    QSKIP("signals are POSIX ones");
#endif
    QFETCH(int, signal);
    QTemporaryDir tmp;
    QByteArray text;
    for (int i = 0; i < 1000000; ++i)
        text += "p 0 0 P" + QByteArray::number(i) + " 1 n\n";
    QDir dir(tmp.path());
    QVERIFY(put(dir, "n.ndr", text));
    QProcess process;
    process.setWorkingDirectory(tmp.path());
    process.start(cli, {"-q", "n.ndr"});
    QVERIFY(process.waitForStarted());
    bool writing = false;
    while (!writing && process.state() == QProcess::Running) {
        // Written to, not only created: the run knows it by then.
        for (const QFileInfo &part :
             dir.entryInfoList({".trilette-*.part"}, QDir::Files | QDir::Hidden))
            writing = writing || part.size() > 0;
        QThread::msleep(1);
    }
    if (!writing)
        QSKIP("the run ended before it could be interrupted");
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(60000));
    // A signal that comes once the outputs are being put in place waits for the pair to be
    // there (or the run may even have ended first, on a loaded machine): both outputs or none,
    // and never a part file.
    const QStringList left = dir.entryList(QDir::Files | QDir::Hidden);
    if (left != QStringList {"n.ndr"}) {
        QCOMPARE(left, (QStringList {"n.log", "n.ndr", "n_ST.txt"}));
        return;
    }
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
}

void TestCli::standardOutputFull_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::newRow("traces") << "n.ndr";
    QTest::newRow("help") << "--help";
    QTest::newRow("version") << "--version";
}

void TestCli::standardOutputFull()
{
    // Standard output that cannot be written is a failure, said on standard error.
    QFETCH(QString, arguments);
    if (!QFile::exists("/dev/full"))
        QSKIP("no /dev/full on this system");
    QTemporaryDir tmp;
    QVERIFY(put(tmp.path(), "n.ndr", "p 1 2 P 1 n\nh\n"));
    QProcess process;
    QCOMPARE(run(tmp.path(), {}, process, "exec \"$0\" " + arguments + " > /dev/full"),
             QByteArray());
    QCOMPARE(process.readAllStandardError(),
             QByteArray("trilette-cli: erreur d'\xc3\xa9"
                        "criture sur la sortie standard : plus "
                        "de place sur le disque\n"));
    QCOMPARE(process.exitCode(), 1);
}

void TestCli::diskFull_data()
{
    QTest::addColumn<QByteArray>("net");
    QTest::addColumn<QByteArray>("failed");
    // A transition with many input arcs: a log of 3 KB, a program of 16 KB.
    QByteArray arcs = "t 1 2 T 0 w n\n";
    for (int i = 0; i < 300; ++i)
        arcs += "e P" + QByteArray::number(i) + " T 1 n\n";
    QTest::newRow("the program") << arcs + "h\n" << QByteArray("n_ST.txt");
    // A label of many pieces, all in the log, one in the program: a log of 25 KB.
    QByteArray label = "p 1 2 P 1 n {[";
    for (int i = 0; i < 2000; ++i)
        label += "texte" + QByteArray::number(i) + ',';
    QTest::newRow("the log, the program being small") << label
            + "S]} e\nt 1 2 T 0 w n\ne P T 1 n\nh\n" << QByteArray("n.log");
}

void TestCli::diskFull()
{
    // A write that fails after the file was opened (the file size limit stands for a full
    // disk): status 1, the reason on the file that failed, no half-written file, the earlier
    // pair kept.
#ifndef Q_OS_UNIX
    QSKIP("needs a shell's file size limit");
#endif
    QFETCH(QByteArray, net);
    QFETCH(QByteArray, failed);
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    QVERIFY(put(dir, "n.ndr", net) && put(dir, "n.log", "ancien")
            && put(dir, "n_ST.txt", "ancien"));
    QProcess process;
    QCOMPARE(run(tmp.path(), {}, process, "trap '' XFSZ; ulimit -f 8 && exec \"$0\" -q n.ndr"),
             QByteArray());
    // Before it, the warnings about the net.
    const QList<QByteArray> lines = process.readAllStandardError().split('\n');
    QCOMPARE(lines.mid(lines.size() - 2),
             QList<QByteArray>({failed
                                    + ": erreur: impossible d'\xc3\xa9"
                                      "crire le fichier : fichier trop gros",
                                ""}));
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(dir.entryList(QDir::Files, QDir::Name), QStringList({"n.log", "n.ndr", "n_ST.txt"}));
    QCOMPARE(contents(dir.filePath("n.log")), QByteArray("ancien"));
    QCOMPARE(contents(dir.filePath("n_ST.txt")), QByteArray("ancien"));
}

QTEST_APPLESS_MAIN(TestCli)
#include "tst_cli.moc"
