// The command line: output folders, base names, several nets, statuses and messages.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char miniNet[] = "p 1 2 A 1 n\nt 1 2 T 0 w n\ne A T 1 n\nh\n";

struct Run
{
    int status;
    QByteArray out;
    QByteArray err;
};

Run runCli(const QString &workDir, const QStringList &args)
{
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.start(QStringLiteral(TRILETTE_BIN_DIR "/trilette-cli"), args);
    if (!process.waitForFinished(60000))
        return {-1, {}, {}};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(contents), qint64(contents.size()));
}

/// Every file under `dir`, relative, sorted.
QStringList filesIn(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(dir).relativeFilePath(it.next());
    files.sort();
    return files;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void baseNames_data();
    void baseNames();
    void folders_data();
    void folders();
    void severalNetsOneUnreadable();
    void traces();
    void usage_data();
    void usage();
};

void TestCli::baseNames_data()
{
    QTest::addColumn<QString>("net");
    QTest::addColumn<QStringList>("outputs");

    QTest::newRow("usine") << "usine.ndr" << QStringList {"usine.log", "usine_ST.txt"};
    QTest::newRow("one letter") << "a.ndr" << QStringList {"a.log", "a_ST.txt"};
    QTest::newRow("four characters") << ".ndr" << QStringList {"Ex.log", "Ex_ST.txt"};
    QTest::newRow("shorter") << "ab" << QStringList {"Ex.log", "Ex_ST.txt"};
    QTest::newRow("other extension")
        << "modele.petri" << QStringList {"modele.p.log", "modele.p_ST.txt"};
    QTest::newRow("accents") << QString::fromUtf8("r\xc3\xa9seau.ndr")
                             << QStringList {QString::fromUtf8("r\xc3\xa9seau.log"),
                                             QString::fromUtf8("r\xc3\xa9seau_ST.txt")};
    QTest::newRow("accent in the last four")
        << QString::fromUtf8("abc.n\xc3\xa9r") << QStringList {"abc.log", "abc_ST.txt"};
    QTest::newRow("blanks") << "mon reseau.ndr"
                            << QStringList {"mon reseau.log", "mon reseau_ST.txt"};
}

void TestCli::baseNames()
{
    QFETCH(QString, net);
    QFETCH(QStringList, outputs);
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("in");
    writeFile(dir.filePath("in/" + net), miniNet);
    Run run = runCli(dir.path(), {"-q", "in/" + net});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, QByteArray());
    QStringList expected {"in/" + net};
    expected += outputs;
    expected.sort();
    QCOMPARE(filesIn(dir.path()), expected);
}

void TestCli::folders_data()
{
    QTest::addColumn<QStringList>("dirs"); // folders made before the run
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<QStringList>("files");

    QTest::newRow("current directory")
        << QStringList() << QStringList {"n.ndr"} << 0 << QByteArray()
        << QStringList {"n.log", "n.ndr", "n_ST.txt"};
    QTest::newRow("TriledFiles when it exists")
        << QStringList {"TriledFiles"} << QStringList {"n.ndr"} << 0 << QByteArray()
        << QStringList {"TriledFiles/n.log", "TriledFiles/n_ST.txt", "n.ndr"};
    QTest::newRow("-o wins over TriledFiles")
        << QStringList {"TriledFiles", "out"} << QStringList {"-o", "out", "n.ndr"} << 0
        << QByteArray() << QStringList {"n.ndr", "out/n.log", "out/n_ST.txt"};
    QTest::newRow("--output-dir=")
        << QStringList {"out"} << QStringList {"--output-dir=out", "n.ndr"} << 0 << QByteArray()
        << QStringList {"n.ndr", "out/n.log", "out/n_ST.txt"};
    QTest::newRow("-o missing folder")
        << QStringList() << QStringList {"-o", "nowhere", "n.ndr"} << 1
        << QByteArray("trilette-cli: le dossier de sortie n'existe pas : nowhere\n")
        << QStringList {"n.ndr"};
    QTest::newRow("directory where the ST file goes")
        << QStringList {"n_ST.txt"} << QStringList {"n.ndr"} << 1
        << QByteArray("trilette-cli: Impossible d'ecrire le fichier : n_ST.txt\n")
        << QStringList {"n.log", "n.ndr"};
}

void TestCli::folders()
{
    QFETCH(QStringList, dirs);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QByteArray, err);
    QFETCH(QStringList, files);
    QTemporaryDir dir;
    for (const QString &sub : dirs)
        QVERIFY(QDir(dir.path()).mkdir(sub));
    writeFile(dir.filePath("n.ndr"), miniNet);
    args.prepend("-q");
    Run run = runCli(dir.path(), args);
    QCOMPARE(run.err, err);
    QCOMPARE(run.status, status);
    QCOMPARE(filesIn(dir.path()), files);
}

void TestCli::severalNetsOneUnreadable()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("a.ndr"), miniNet);
    writeFile(dir.filePath("c.ndr"), miniNet);
    // An earlier good output of the unreadable net's name stays as it was.
    writeFile(dir.filePath("b_ST.txt"), "earlier\n");
    Run run = runCli(dir.path(), {"--quiet", "a.ndr", "b.ndr", "c.ndr"});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, QByteArray("trilette-cli: Impossible de lire le fichier reseau : b.ndr\n"));
    QCOMPARE(filesIn(dir.path()),
             QStringList({"a.log", "a.ndr", "a_ST.txt", "b_ST.txt", "c.log", "c.ndr", "c_ST.txt"}));
    QFile earlier(dir.filePath("b_ST.txt"));
    QVERIFY(earlier.open(QIODevice::ReadOnly));
    QCOMPARE(earlier.readAll(), QByteArray("earlier\n"));
}

void TestCli::traces()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("n.ndr"), miniNet);
    Run run = runCli(dir.path(), {"n.ndr", "absent.ndr"});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.out,
             QByteArray("place (6 jetons)      \t[p 1 2 A 1 n]\n"
                        "transition (7 jetons) \t[t 1 2 T 0 w n]\n"
                        "jetons (1)  (t]\njetons (2)  (1]\njetons (3)  (2]\njetons (4)  (T]\n"
                        "jetons (5)  (0]\njetons (6)  (w]\njetons (7)  (n]\n"
                        "arc (5 jetons)        \t[e A T 1 n]\n"
                        "arc [e A T 1]\n"
                        "arc entrant [e A T 1]\n"
                        "Ici1\n"
                        " erreur fichier <absent.ndr> non ouvert\n"));
    QCOMPARE(run.err,
             QByteArray("trilette-cli: Impossible de lire le fichier reseau : absent.ndr\n"));
}

void TestCli::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("err");

    const QByteArray hint = "Essayez 'trilette-cli --help' pour plus d'informations.\n";
    QTest::newRow("no net") << QStringList() << 2
                            << "trilette-cli: aucun fichier reseau donne\n" + hint;
    QTest::newRow("only options") << QStringList {"-q"} << 2
                                  << "trilette-cli: aucun fichier reseau donne\n" + hint;
    QTest::newRow("unknown option")
        << QStringList {"-x", "n.ndr"} << 2 << "trilette-cli: option inconnue : -x\n" + hint;
    QTest::newRow("-o without folder") << QStringList {"n.ndr", "-o"} << 2
                                       << "trilette-cli: l'option demande un dossier : -o\n" + hint;
    QTest::newRow("help") << QStringList {"-h"} << 0 << QByteArray();
    QTest::newRow("version") << QStringList {"--version"} << 0 << QByteArray();
}

void TestCli::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QByteArray, err);
    QTemporaryDir dir;
    Run run = runCli(dir.path(), args);
    QCOMPARE(run.status, status);
    QCOMPARE(run.err, err);
    QCOMPARE(filesIn(dir.path()), QStringList());
    if (args == QStringList {"-h"})
        QVERIFY(run.out.startsWith("Usage : trilette-cli [options] RESEAU.ndr...\n"));
    if (args == QStringList {"--version"})
        QCOMPARE(run.out, QByteArray("trilette-cli " TRILETTE_VERSION "\n"));
}

QTEST_APPLESS_MAIN(TestCli)
#include "tst_cli.moc"
