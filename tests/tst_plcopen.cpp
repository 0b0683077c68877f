// PLCopen XML as PLC environments import it: every document that Trilette writes (for the golden
// cases, the real nets it writes a program for, and random nets) must be valid against the
// PLCopen TC6 2.01 schema (xmllint), and the program that an environment rebuilds from it (its
// interface and its ST body) must compile with matiec's iec2c. Skipped where xmllint or the
// shared folder is missing.

#include "codegen/plcopenwriter.h"
#include "codegen/symbols.h"
#include "net/netcheck.h"
#include "net/netreader.h"
#include "tests/plc/randomnet.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

using namespace trilette;

namespace {

const QString schema = QStringLiteral(TRILETTE_SOURCE_DIR "/../shared/plcopen/tc6_xml_v201.xsd");
const QString iec2c = QStringLiteral(TRILETTE_MATIEC_DIR "/iec2c");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// The XML of a net, or nothing when the net has errors (then no document is written).
QByteArray document(const std::string &text, const std::string &name, int number)
{
    Net net;
    Diagnostics diagnostics;
    readNetText(text, name, net, nullptr, &diagnostics);
    checkNet(net, name, {true, true}, diagnostics);
    const ProgramSymbols symbols(net, "Reseau_" + std::to_string(number), TimeUnit::Seconds, name,
                                 diagnostics);
    if (diagnostics.hasErrors())
        return QByteArray();
    TextSink out;
    writePlcOpen(net, symbols, name, out);
    return QByteArray(out.text().data(), int(out.text().size()));
}

/// The program that an environment builds from a document: the POU's declarations, from its
/// interface, and its ST body; empty when the document lacks them.
QString programOf(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    QString pou, body, block, variable, type, initial;
    QStringList declarations;
    while (!reader.atEnd()) {
        reader.readNext();
        const QString name = reader.name().toString();
        if (reader.isStartElement()) {
            if (name == "pou") {
                pou = reader.attributes().value("name").toString();
            } else if (name == "inputVars" || name == "outputVars" || name == "localVars") {
                block = name == "inputVars" ? "VAR_INPUT"
                    : name == "outputVars"  ? "VAR_OUTPUT"
                                            : "VAR";
                declarations << block;
            } else if (name == "variable") {
                variable = reader.attributes().value("name").toString();
                type.clear();
                initial.clear();
            } else if (name == "derived") {
                type = reader.attributes().value("name").toString();
            } else if (name == "BOOL" || name == "DINT") {
                type = name;
            } else if (name == "simpleValue") {
                initial = reader.attributes().value("value").toString();
            } else if (name == "ST") {
                reader.readNextStartElement(); // xhtml:p
                body = reader.readElementText();
            }
        } else if (reader.isEndElement()) {
            if (name == "variable")
                declarations << "    " + variable + " : " + type
                        + (initial.isEmpty() ? QString() : " := " + initial) + ";";
            else if (name == "inputVars" || name == "outputVars" || name == "localVars")
                declarations << "END_VAR";
        }
    }
    if (reader.hasError() || pou.isEmpty() || body.isEmpty())
        return QString();
    return "PROGRAM " + pou + "\n" + declarations.join('\n') + "\n" + body + "END_PROGRAM\n";
}

QString compile(const QStringList &programs, const QString &folder)
{
    QString unit = programs.join('\n');
    unit += "CONFIGURATION Config\n    RESOURCE Ressource ON PLC\n        TASK Tache(INTERVAL := "
            "T#10ms, PRIORITY := 0);\n";
    for (int i = 0; i < programs.size(); ++i) {
        const QString type = programs[i].section('\n', 0, 0).mid(8);
        unit += QString("        PROGRAM I_%1 WITH Tache : %2;\n").arg(i).arg(type);
    }
    unit += "    END_RESOURCE\nEND_CONFIGURATION\n";
    QFile file(folder + "/unit.st");
    if (!file.open(QIODevice::WriteOnly) || file.write(unit.toUtf8()) < 0)
        return "unit.st cannot be written";
    file.close();
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(iec2c, {"-I", TRILETTE_MATIEC_DIR "/lib", "-T", folder, "unit.st"});
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return QString::fromUtf8(process.readAllStandardError() + process.readAllStandardOutput());
    return QString();
}

} // namespace

class TestPlcOpen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void documents_data();
    void documents();
};

void TestPlcOpen::initTestCase()
{
    if (!QFile::exists(schema) || !QFile::exists(iec2c))
        QSKIP("pas de schéma PLCopen ni de matiec à côté du dépôt (../shared)");
    QProcess probe;
    probe.start("xmllint", {"--version"});
    if (!probe.waitForFinished(10000) || probe.exitCode() != 0)
        QSKIP("xmllint manque (paquet Debian libxml2-utils)");
}

void TestPlcOpen::documents_data()
{
    QTest::addColumn<QString>("set");
    QTest::newRow("golden cases") << "golden";
    QTest::newRow("real nets") << "corpus";
    QTest::newRow("random nets") << "random";
}

void TestPlcOpen::documents()
{
    QFETCH(QString, set);
    std::vector<std::pair<std::string, std::string>> nets;
    auto addFolder = [&](const QString &folder) {
        const QDir dir(folder);
        for (const QString &file : dir.entryList({"*.ndr"}, QDir::Files, QDir::Name))
            nets.push_back({file.toStdString(), readFile(dir.filePath(file)).toStdString()});
    };
    if (set == "golden") {
        for (const char *folder : {"", "/pou", "/plcopen"})
            addFolder(TRILETTE_SOURCE_DIR "/tests/golden" + QString(folder));
    } else if (set == "corpus") {
        addFolder(TRILETTE_CORPUS_DIR);
    } else {
        for (uint32_t seed = 1000; seed < 1100; ++seed)
            nets.push_back({"aleatoire_" + std::to_string(seed) + ".ndr", randomNet(seed)});
    }

    QTemporaryDir folder;
    QStringList programs, names;
    for (size_t i = 0; i < nets.size(); ++i) {
        const QByteArray xml = document(nets[i].second, nets[i].first, int(i));
        if (xml.isEmpty())
            continue;
        const QString path = folder.filePath(QString("net%1.xml").arg(i));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(xml) == xml.size());
        file.close();
        QProcess xmllint;
        xmllint.start("xmllint", {"--noout", "--schema", schema, path});
        QVERIFY(xmllint.waitForFinished(60000));
        QVERIFY2(xmllint.exitCode() == 0,
                 qPrintable(QString::fromStdString(nets[i].first) + " : "
                            + QString::fromUtf8(xmllint.readAllStandardError())));
        const QString program = programOf(xml);
        QVERIFY2(!program.isEmpty(), nets[i].first.c_str());
        programs << program;
        names << QString::fromStdString(nets[i].first);
    }
    QVERIFY(!programs.isEmpty());
    if (compile(programs, folder.path()).isEmpty())
        return;
    // Which one does the compiler refuse?
    for (int i = 0; i < programs.size(); ++i) {
        const QString error = compile({programs[i]}, folder.path());
        QVERIFY2(error.isEmpty(), qPrintable(names[i] + " : " + error));
    }
}

QTEST_APPLESS_MAIN(TestPlcOpen)
#include "tst_plcopen.moc"
