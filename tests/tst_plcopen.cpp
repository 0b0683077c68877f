// PLCopen XML as PLC environments import it: every document that Trilette writes (for the golden
// cases, the real nets it writes a program for, and random nets) is valid against the PLCopen
// TC6 2.01 schema (xmllint), and the program that an environment rebuilds from it (its interface
// and its ST body) compiles with matiec's iec2c. Skipped where xmllint or ../shared is missing.

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

/// The XML of a net, or nothing when the net has errors (then no document is written).
QByteArray document(const std::string &text, const std::string &name, int number)
{
    Net net;
    Diagnostics diagnostics;
    readNetText(text, name, net, nullptr, &diagnostics);
    checkNet(net, name, {true, true}, diagnostics);
    const ProgramSymbols symbols(net, "Reseau_" + std::to_string(number), TimeUnit::Seconds, name,
                                 diagnostics);
    TextSink out;
    if (!diagnostics.hasErrors())
        writePlcOpen(net, symbols, name, out);
    return QByteArray(out.text().data(), int(out.text().size()));
}

/// The program that an environment builds from a document: the POU's declarations, from its
/// interface, and its ST body; empty when the document lacks them.
QString programOf(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    QString pou, body, variable, type, initial;
    QStringList declarations;
    const QStringList sections {"inputVars", "outputVars", "localVars"};
    const QStringList keywords {"VAR_INPUT", "VAR_OUTPUT", "VAR"};
    while (!reader.atEnd()) {
        reader.readNext();
        const QString name = reader.name().toString();
        const QString value
            = reader.attributes().value(name == "simpleValue" ? "value" : "name").toString();
        if (reader.isStartElement() && name == "pou")
            pou = value;
        else if (reader.isStartElement() && sections.contains(name))
            declarations << keywords[sections.indexOf(name)];
        else if (reader.isStartElement() && name == "variable")
            variable = value, type.clear(), initial.clear();
        else if (reader.isStartElement() && (name == "derived" || name == "BOOL" || name == "DINT"))
            type = name == "derived" ? value : name;
        else if (reader.isStartElement() && name == "simpleValue")
            initial = " := " + value;
        else if (reader.isStartElement() && name == "ST"
                 && reader.readNextStartElement()) // xhtml:p
            body = reader.readElementText();
        else if (reader.isEndElement() && name == "variable")
            declarations << "    " + variable + " : " + type + initial + ";";
        else if (reader.isEndElement() && sections.contains(name))
            declarations << "END_VAR";
    }
    if (reader.hasError() || pou.isEmpty() || body.isEmpty())
        return QString();
    return "PROGRAM " + pou + "\n" + declarations.join('\n') + "\n" + body + "END_PROGRAM\n";
}

/// What iec2c says of the programs in one configuration, empty when it compiles them.
QString compile(const QStringList &programs, const QString &folder)
{
    QString unit = programs.join('\n')
        + "CONFIGURATION Config\n    RESOURCE Ressource ON PLC\n"
          "        TASK Tache(INTERVAL := T#10ms, PRIORITY := 0);\n";
    for (int i = 0; i < programs.size(); ++i)
        unit += QString("        PROGRAM I_%1 WITH Tache : %2;\n")
                    .arg(i)
                    .arg(programs[i].section('\n', 0, 0).mid(8));
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
    void initTestCase()
    {
        if (!QFile::exists(schema) || !QFile::exists(iec2c))
            QSKIP("pas de schéma PLCopen ni de matiec à côté du dépôt (../shared)");
        QProcess probe;
        probe.start("xmllint", {"--version"});
        if (!probe.waitForFinished(10000) || probe.exitCode() != 0)
            QSKIP("xmllint manque (paquet Debian libxml2-utils)");
    }

    void documents()
    {
        std::vector<std::pair<std::string, std::string>> nets;
        for (const char *folder : {"/tests/golden", "/tests/golden/pou", "/tests/golden/plcopen",
                                   "/../shared/corpus/ndr"}) {
            const QDir dir(TRILETTE_SOURCE_DIR + QString(folder));
            for (const QString &file : dir.entryList({"*.ndr"}, QDir::Files, QDir::Name)) {
                QFile net(dir.filePath(file));
                QVERIFY(net.open(QIODevice::ReadOnly));
                nets.push_back({file.toStdString(), net.readAll().toStdString()});
            }
        }
        for (uint32_t seed = 1000; seed < 1100; ++seed)
            nets.push_back({"aleatoire_" + std::to_string(seed) + ".ndr", randomNet(seed)});
        QTemporaryDir folder;
        QStringList programs, files;
        for (size_t i = 0; i < nets.size(); ++i) {
            const QByteArray xml = document(nets[i].second, nets[i].first, int(i));
            if (xml.isEmpty())
                continue;
            QFile file(folder.filePath(QString("%1_%2.xml").arg(i).arg(nets[i].first.c_str())));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(xml) == xml.size());
            files << file.fileName();
            programs << programOf(xml);
            QVERIFY2(!programs.last().isEmpty(), qPrintable(files.last()));
        }
        QVERIFY(!files.isEmpty());
        QProcess xmllint;
        xmllint.start("xmllint", QStringList {"--noout", "--schema", schema} + files);
        QVERIFY(xmllint.waitForFinished(120000));
        QVERIFY2(xmllint.exitCode() == 0, xmllint.readAllStandardError().constData());
        if (compile(programs, folder.path()).isEmpty())
            return;
        for (int i = 0; i < programs.size(); ++i) { // Which one does the compiler refuse?
            const QString error = compile({programs[i]}, folder.path());
            QVERIFY2(error.isEmpty(), qPrintable(files[i] + " : " + error));
        }
    }
};

QTEST_APPLESS_MAIN(TestPlcOpen)
#include "tst_plcopen.moc"
