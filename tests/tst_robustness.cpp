// Bad input through the command line: each case gets its status and its French message, and
// nothing is written but the outputs of a net that was read; earlier outputs survive failures.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

const QByteArray earlierLog = "earlier log\n";
const QByteArray earlierSt = "earlier ST\n";

/// The program written for a net of one place (with its marking) that is the one input of one
/// transition without predicate (arc of the given weight).
QByteArray program(const QByteArray &place, const QByteArray &marking, int weight)
{
    const QByteArray w = QByteArray::number(weight);
    const QByteArray guard = QByteArray::number(qMax(weight, 1));
    return QByteArray("(*-------Codage de RDP en ST d\xc3\xa9"
                      "compos\xc3\xa9 en blocs FMG------------*)\n\n\n"
                      "IF(INIT) THEN\n(*-------Initialisation------------*)\n")
        + "\t " + place + "p := " + marking + ";\n\t " + place + "s := " + marking + ";\n"
        + "ELSE\n\n(*-------BLOC F------------*)\n" + "IF ( (" + place + "p>=" + guard
        + ") AND (TRUE) ) THEN\n\t" + place + "s := " + place + "s - " + w + ";\nEND_IF;\n\n"
        + "\n(*-------BLOC M------------*)\n\n\t " + place + "p := " + place + "s;\n"
        + "\n(*-------BLOC G------------*)\n\n\nEND_IF;\n\n";
}

const QByteArray emptyProgram = "(*-------Codage de RDP en ST d\xc3\xa9"
                                "compos\xc3\xa9 en blocs FMG------------*)\n\n\n"
                                "IF(INIT) THEN\n(*-------Initialisation------------*)\n"
                                "ELSE\n\n(*-------BLOC F------------*)\n"
                                "\n(*-------BLOC M------------*)\n\n"
                                "\n(*-------BLOC G------------*)\n\n\nEND_IF;\n\n";

const QByteArray mini = "p 1 2 A 1 n\nt 1 2 T 0 w n\ne A T 1 n\nh\n";

QByteArray repeated(const QByteArray &piece, int times)
{
    QByteArray out;
    out.reserve(piece.size() * times);
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

struct Case
{
    const char *name;
    /// Lays out the folder: writes n.ndr (or not) and anything else the case needs.
    std::function<void(QDir &)> setup;
    QStringList args;
    int status;
    QByteArray err;
    /// The program expected in n_ST.txt; empty when the earlier outputs must survive untouched.
    QByteArray st;
    QStringList files;
};

void write(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(contents);
}

std::function<void(QDir &)> net(const QByteArray &contents)
{
    return [contents](QDir &dir) { write(dir.filePath("n.ndr"), contents); };
}

const QString cli = QStringLiteral(TRILETTE_BIN_DIR "/trilette-cli");
const QByteArray pre = "trilette-cli: ";
const QStringList converted {"n.log", "n.ndr", "n_ST.txt"};
const QStringList kept {"n.log", "n_ST.txt"};

const std::vector<Case> &cases()
{
    static const std::vector<Case> all = {
        {"missing file",
         [](QDir &) {},
         {"n.ndr"},
         1,
         pre + "Impossible de lire le fichier reseau : n.ndr\n",
         {},
         kept},
        {"directory as the net",
         [](QDir &dir) { dir.mkdir("n.ndr"); },
         {"n.ndr"},
         1,
         pre + "Impossible de lire le fichier reseau : n.ndr\n",
         {},
         kept},
        {"empty file",
         net(""),
         {"n.ndr"},
         0,
         pre
             + "avertissement : n.ndr : pas de ligne de fin 'h', le fichier est peut-etre "
               "tronque\n"
             + pre + "avertissement : n.ndr : aucune place ni transition\n",
         emptyProgram,
         converted},
        {"only h",
         net("h"),
         {"n.ndr"},
         0,
         pre + "avertissement : n.ndr : aucune place ni transition\n",
         emptyProgram,
         converted},
        {"no h line",
         net("p 1 2 A 1 n\nt 1 2 T 0 w n\ne A T 1 n"),
         {"n.ndr"},
         0,
         pre
             + "avertissement : n.ndr : pas de ligne de fin 'h', le fichier est peut-etre "
               "tronque\n",
         program("A", "1", 1),
         converted},
        {"CR LF",
         net("p 1 2 A 1 n\r\nt 1 2 T 0 w n\r\ne A T 1 n\r\nh\r\n"),
         {"n.ndr"},
         0,
         {},
         program("A", "1", 1),
         converted},
        {"mixed line ends",
         net("p 1 2 A 1 n\r\nt 1 2 T 0 w n\ne A T 1 n\r\nh"),
         {"n.ndr"},
         0,
         {},
         program("A", "1", 1),
         converted},
        {"empty lines",
         net("\n\np 1 2 A 1 n\n\r\n\nt 1 2 T 0 w n\n\ne A T 1 n\n\nh\n"),
         {"n.ndr"},
         0,
         {},
         program("A", "1", 1),
         converted},
        {"line of 50 MB",
         net("a " + QByteArray(50 << 20, 'x') + "\n" + mini),
         {"n.ndr"},
         0,
         {},
         program("A", "1", 1),
         converted},
        {"a million tokens on one line",
         net("p 1 2 A 1 n\nt 1 2 T 0" + repeated(" x", 1000000) + "\ne A T 1 n\nh\n"),
         {"n.ndr"},
         0,
         {},
         program("A", "1", 1),
         converted},
        {"NUL byte in a name",
         net(QByteArray("p 1 2 A\0B 1 n\n", 14) + mini),
         {"n.ndr"},
         1,
         pre
             + "Le fichier reseau n'est pas un fichier texte (il contient un octet nul) : "
               "n.ndr\n",
         {},
         QStringList {"n.log", "n.ndr", "n_ST.txt"}},
        {"bytes 0x80-0xFF in names",
         net("p 1 2 R\xe9seau\xff 1 n {[Mot\xc3\xa9ur]}\nt 1 2 T 0 w n\ne R\xe9seau\xff T 1 "
             "n\nh\n"),
         {"n.ndr"},
         0,
         {},
         QByteArray(program("R\xe9seau\xff", "1", 1))
             .replace("\n\nEND_IF;\n\n", "\nMot\xc3\xa9ur := (R\xe9seau\xffp >=1);\n\nEND_IF;\n\n"),
         converted},
        {"unbalanced braces",
         net("p 1 2 A 1 n {[x, y\nt 1 2 T 0 w n}\ne A T 1 n\nh\n"),
         {"n.ndr"},
         0,
         {},
         QByteArray(program("A", "1", 1))
             .replace("\n\nEND_IF;\n\n", "\n y := (Ap >=1);\n\nEND_IF;\n\n"),
         converted},
        {"labels without ] or ;",
         net("p 1 2 A 1 n {[x}\nt 1 2 T 0 w n x {[go} y\ne A T 1 n\nh\n"),
         {"n.ndr"},
         0,
         {},
         QByteArray(program("A", "1", 1))
             .replace("(TRUE)", "(go)")
             .replace("\n\nEND_IF;\n\n", "\nx := (Ap >=1);\n\nEND_IF;\n\n"),
         converted},
        {"lines with missing tokens",
         net("p 1 2\nt 1 2\ne A\n" + mini),
         {"n.ndr"},
         0,
         pre + "avertissement : n.ndr : 3 lignes ignorees (il y manque un jeton)\n",
         program("A", "1", 1),
         converted},
        {"beyond 32 bits",
         net("p 1 2 A 99999999999 n\nt 1 2 T 0 w n\ne A T -5000000000 n\nh\n"),
         {"n.ndr"},
         0,
         {},
         program("A", "2147483647", -2147483647 - 1),
         converted},
        {"binary file",
         net(QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10p e t h", 30)),
         {"n.ndr"},
         1,
         pre
             + "Le fichier reseau n'est pas un fichier texte (il contient un octet nul) : "
               "n.ndr\n",
         {},
         QStringList {"n.log", "n.ndr", "n_ST.txt"}},
        {"directory where the ST file goes",
         [](QDir &dir) {
             write(dir.filePath("n.ndr"), mini);
             dir.remove("n_ST.txt");
             dir.mkdir("n_ST.txt");
         },
         {"n.ndr"},
         1,
         pre + "Impossible d'ecrire le fichier : n_ST.txt\n",
         {},
         QStringList {"n.log", "n.ndr"}},
        {"output folder that does not exist",
         net(mini),
         {"-o", "absent", "n.ndr"},
         1,
         pre + "le dossier de sortie n'existe pas : absent\n",
         {},
         QStringList {"n.log", "n.ndr", "n_ST.txt"}},
    };
    return all;
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

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

} // namespace

class TestRobustness : public QObject
{
    Q_OBJECT

private slots:
    void badInput_data();
    void badInput();
    void manyArcsOnOneTransition();
};

void TestRobustness::badInput_data()
{
    QTest::addColumn<int>("index");
    for (size_t i = 0; i < cases().size(); ++i)
        QTest::newRow(cases()[i].name) << int(i);
}

void TestRobustness::badInput()
{
    QFETCH(int, index);
    const Case &c = cases()[size_t(index)];
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    write(dir.filePath("n.log"), earlierLog);
    write(dir.filePath("n_ST.txt"), earlierSt);
    c.setup(dir);

    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(cli, QStringList {"--quiet"} + c.args);
    QVERIFY2(process.waitForFinished(300000), "the run did not end");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.readAllStandardError(), c.err);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    QCOMPARE(process.exitCode(), c.status);
    QCOMPARE(filesIn(dir), c.files);
    if (c.st.isEmpty()) {
        if (c.files.contains("n_ST.txt"))
            QCOMPARE(contents(dir.filePath("n_ST.txt")), earlierSt);
        if (c.status != 0 && c.files.contains("n.log") && !c.files.contains("n.ndr"))
            QCOMPARE(contents(dir.filePath("n.log")), earlierLog);
    } else {
        QCOMPARE(contents(dir.filePath("n_ST.txt")), c.st);
        QVERIFY(contents(dir.filePath("n.log")) != earlierLog);
    }
}

void TestRobustness::manyArcsOnOneTransition()
{
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    QByteArray text = "t 1 2 T 0 w n\n";
    for (int i = 0; i < 100000; ++i)
        text += "e P" + QByteArray::number(i) + " T 1 n\n";
    write(dir.filePath("n.ndr"), text + "h\n");
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(cli, {"-q", "n.ndr"});
    QVERIFY(process.waitForFinished(300000));
    QCOMPARE(process.exitCode(), 0);
    const QList<QByteArray> lines = contents(dir.filePath("n_ST.txt")).split('\n');
    const QByteArray guard = lines.value(8);
    QVERIFY(guard.startsWith("IF ( (P99999p>=1) AND  (P99998p>=1) AND "));
    QVERIFY(guard.endsWith(" (P0p>=1) AND (TRUE) ) THEN"));
    QCOMPARE(guard.count(" AND "), 100000);
    QCOMPARE(lines.size(), 21 + 100000);
}

QTEST_APPLESS_MAIN(TestRobustness)
#include "tst_robustness.moc"
