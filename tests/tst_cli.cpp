// The command line, and bad input through it: the cases of tests/data/cli.cases and nets too big
// to keep in a file, then runs short of memory, of disk or of standard output, and runs stopped
// by a signal. Each runs trilette-cli in a fresh folder.

#include "tests/casefile.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

const QString dataDir = QStringLiteral(TRILETTE_SOURCE_DIR "/tests/data/");
const QString cli = QStringLiteral(TRILETTE_BIN_DIR "/trilette-cli");

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

bool put(const QDir &dir, const QString &name, const QByteArray &text)
{
    QFile file(dir.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

/// Every file under `dir`, sorted, one a line; "=ancien" after one that holds "ancien".
QString filesIn(const QDir &dir)
{
    QStringList files;
    QDirIterator it(dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files << dir.relativeFilePath(path) + (contents(path) == "ancien" ? "=ancien" : "");
    }
    files.sort();
    return files.join('\n');
}

/// Runs trilette-cli in `dir` with `args`, or the shell with `script`, "$0" naming
/// trilette-cli; false when the run does not end.
bool run(QProcess &process, const QString &dir, const QStringList &args, const QString &script = {})
{
    process.setWorkingDirectory(dir);
    process.start(script.isEmpty() ? cli : "/bin/sh",
                  script.isEmpty() ? args : QStringList {"-c", script, cli});
    return process.waitForFinished(600000);
}

/// The case `name` of `all`, named `newName`, with `net` as n.ndr.
TextCase like(const QList<TextCase> &all, const QString &name, const char *newName,
              const QByteArray &net)
{
    TextCase c = *std::find_if(all.begin(), all.end(), [&](auto &c) { return c.name == name; });
    c.name = newName;
    for (CaseSection &s : c.sections)
        s.text = s.kind == "file" && s.argument == "n.ndr" ? net : s.text;
    return c;
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
    void shortOfResources();
    void interrupted();
};

void TestCli::cases_data()
{
    QTest::addColumn<TextCase>("c");
    QList<TextCase> all = readCaseFile(dataDir + "cli.cases");
    // Lines the reader has warnings about, megabytes of them, then a NUL byte: the file is
    // no net, and gets its one error alone.
    all << like(all, "NUL byte in a name", "a NUL byte after megabytes of lines",
                QByteArray("p\n").repeated(2 << 20) + QByteArray("x\0y\n", 4));
    for (TextCase &c : all) {
        // "--- golden-stdout CASE": the standard output of an earlier case.
        if (const CaseSection *same = c.find("golden-stdout"))
            c.sections.append({"stdout", {}, like(all, same->argument, "", {}).text("stdout")});
        QTest::newRow(qPrintable(c.name)) << c;
    }
}

void TestCli::cases()
{
    QFETCH(TextCase, c);
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    for (const CaseSection &s : c.sections) {
        const QString path = QString::fromUtf8(s.argument);
        if (s.kind == "file")
            QVERIFY(dir.mkpath(path.endsWith('/') ? path : QFileInfo(path).path())
                    && (path.endsWith('/') || put(dir, path, s.text)));
    }
    QStringList args = QString::fromUtf8(c.text("args")).split('\n');
    args.removeLast();
    QProcess process;
    QVERIFY(run(process, dir.path(), args));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.readAllStandardError(), c.text("stderr"));
    QCOMPARE(process.readAllStandardOutput(), c.text("stdout"));
    QCOMPARE(process.exitCode(), c.text("status").trimmed().toInt());
    QCOMPARE(filesIn(dir), QString::fromUtf8(c.text("files").trimmed()));
    for (const CaseSection &s : c.sections) {
        const QList<QByteArray> names = s.argument.split(' ');
        if (s.kind == "expect" || s.kind == "golden")
            QCOMPARE(contents(dir.filePath(names[0])),
                     s.kind == "expect" ? s.text : contents(dataDir + names.value(1)));
    }
}

void TestCli::manyArcsInOneGuard()
{
    QTemporaryDir tmp;
    QByteArray net = "t 1 2 T 0 w n\n";
    for (int i = 0; i < 100000; ++i)
        net += "e P" + QByteArray::number(i) + " T 1 n\n";
    QProcess process;
    QVERIFY(put(tmp.path(), "n.ndr", net + "h\n") && run(process, tmp.path(), {"-q", "n.ndr"}));
    const QList<QByteArray> lines = contents(tmp.filePath("n_ST.txt")).split('\n');
    QVERIFY(lines.size() == 21 + 100000 && lines[8].count(" AND ") == 100000);
    QVERIFY(lines[8].startsWith("IF ( (P99999p>=1) AND  (P99998p>=1) AND ")
            && lines[8].endsWith(" (P0p>=1) AND (TRUE) ) THEN"));
}

void TestCli::tracesBeforeDiagnostics()
{
    // Standard output and standard error in one pipe: each net's traces come before its
    // diagnostics, net after net, as when each is run alone.
    QTemporaryDir tmp;
    QProcess alone, both;
    alone.setProcessChannelMode(QProcess::MergedChannels);
    both.setProcessChannelMode(QProcess::MergedChannels);
    QVERIFY(put(tmp.path(), "a.ndr", "p 1 2 A 1 n\nt 1 2 T 0 w n\nh\n")
            && QFile::copy(tmp.filePath("a.ndr"), tmp.filePath("b.ndr"))
            && run(alone, tmp.path(), {}, "\"$0\" a.ndr && \"$0\" b.ndr")
            && run(both, tmp.path(), {"a.ndr", "b.ndr"}));
    const QByteArray said = alone.readAllStandardOutput();
    QVERIFY(said.contains("Ici1\na.ndr:1: avertissement") && said.contains("Ici1\nb.ndr:1:"));
    QCOMPARE(both.readAllStandardOutput(), said);
}

void TestCli::shortOfResources()
{
    // A net over an earlier pair, trilette-cli run by a shell script: status 1, the end of its
    // standard error (before it, the warnings about the net), and the files after. A write that
    // fails after the file was opened has the file size limit stand for a full disk: for the
    // program (of 16 KB, from a transition of many input arcs), for the log (of 25 KB, from a
    // label of many pieces, one of them in the program).
    QByteArray arcs = "t 1 2 T 0 w n\n", label = "p 1 2 P 1 n {[";
    for (int i = 0; i < 2000; ++i) {
        arcs += i < 300 ? "e P" + QByteArray::number(i) + " T 1 n\n" : "";
        label += "texte" + QByteArray::number(i) + ',';
    }
    const QString full = "trap '' XFSZ; ulimit -f 8 && exec \"$0\" -q n.ndr",
                  earlier = "n.log=ancien\nn.ndr\nn_ST.txt=ancien";
    const QByteArray tooBig = ": erreur: impossible d'écrire le fichier : fichier trop gros\n",
                     stdoutFull = "trilette-cli: erreur d'écriture sur la sortie standard : plus "
                                  "de place sur le disque\n";
    const std::tuple<QByteArray, QString, QByteArray, QString> cases[] = {
#ifndef __SANITIZE_ADDRESS__ // whose shadow memory no shell's memory limit fits
        {QByteArray("p 0 0 P 1 n\n").repeated(1000000), "ulimit -v 65536 && exec \"$0\" -q n.ndr",
         "n.ndr: erreur: mémoire insuffisante : la conversion est abandonnée, rien n'est écrit\n",
         earlier},
#endif
        {arcs + "h\n", full, "n_ST.txt" + tooBig, earlier},
        {label + "S]} e\nt 1 2 T 0 w n\ne P T 1 n\nh\n", full, "n.log" + tooBig, earlier},
        {"p 1 2 P 1 n\nh\n", "exec \"$0\" n.ndr > /dev/full", stdoutFull, "n.log\nn.ndr\nn_ST.txt"},
        {"", "exec \"$0\" --help > /dev/full", stdoutFull, earlier},
        {"", "exec \"$0\" --version > /dev/full", stdoutFull, earlier}};
    for (const auto &[net, script, error, files] : cases) {
        QTemporaryDir tmp;
        QProcess process;
        QVERIFY(put(tmp.path(), "n.ndr", net) && put(tmp.path(), "n.log", "ancien")
                && put(tmp.path(), "n_ST.txt", "ancien") && run(process, tmp.path(), {}, script));
        const QByteArray said = process.readAllStandardError();
        QVERIFY2(said.endsWith(error) && process.exitCode() == 1, qPrintable(script + ": " + said));
        QCOMPARE(filesIn(tmp.path()), files);
    }
}

void TestCli::interrupted()
{
    // Interrupted while it writes its outputs, the run ends by the signal and leaves nothing;
    // a signal that comes once the outputs are being put in place waits for the pair to be
    // there (or the run may even have ended first, on a loaded machine).
    QByteArray net;
    for (int i = 0; i < 1000000; ++i)
        net += "p 0 0 P" + QByteArray::number(i) + " 1 n\n";
    for (int signal : {SIGINT, SIGTERM}) {
        QTemporaryDir tmp;
        QDir dir(tmp.path());
        QProcess process;
        process.setWorkingDirectory(tmp.path());
        QVERIFY(put(dir, "n.ndr", net));
        process.start(cli, {"-q", "n.ndr"});
        bool writing = false; // written to, not only created: the run knows it by then
        while (!writing && process.state() != QProcess::NotRunning) {
            for (const QFileInfo &part :
                 dir.entryInfoList({".trilette-*.part"}, QDir::Files | QDir::Hidden))
                writing = writing || part.size() > 0;
            process.waitForFinished(1);
        }
        if (!writing)
            QSKIP("the run ended before it could be interrupted");
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(60000));
        if (filesIn(dir) != "n.ndr")
            QCOMPARE(filesIn(dir), QString("n.log\nn.ndr\nn_ST.txt"));
        else
            QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    }
}

QTEST_APPLESS_MAIN(TestCli)
#include "tst_cli.moc"
