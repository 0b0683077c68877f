// Golden files, written by hand: each tests/golden/<case>.ndr is converted to Structured Text and
// its traces, diagnostics, structure log and program compared byte for byte with <case>.out,
// <case>.err (absent when there is nothing to say), <case>.log and <case>_ST.txt; the cases of
// tests/golden/pou/ and tests/golden/plcopen/ are converted to a complete POU (<case>.st) and to
// PLCopen XML (<case>.xml).

#include "run/conversion.h"
#include "util/textsink.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace trilette;

namespace {

const QString goldenDir = QStringLiteral(TRILETTE_SOURCE_DIR "/tests/golden");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<" + path.toUtf8() + " cannot be read>";
    QByteArray bytes = file.readAll();
#ifdef Q_OS_WIN
    // Written in text mode: CR LF there, while the goldens keep LF.
    bytes.replace("\r\n", "\n");
#endif
    return bytes;
}

/// Where two texts part, line by line, for the failure message.
QByteArray difference(const QByteArray &expected, const QByteArray &actual)
{
    const QList<QByteArray> want = expected.split('\n'), got = actual.split('\n');
    int line = 0;
    while (line < want.size() && line < got.size() && want[line] == got[line])
        ++line;
    return "line " + QByteArray::number(line + 1) + ": expected \"" + want.value(line)
        + "\", got \"" + got.value(line) + '"';
}

} // namespace

class TestGolden : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void conversion_data();
    void conversion();
};

void TestGolden::initTestCase()
{
    // PLCopen XML carries its creation time: a fixed one keeps the files comparable.
    qputenv("SOURCE_DATE_EPOCH", "0");
    QVERIFY(!QDir(goldenDir).entryList({"*.ndr"}, QDir::Files).isEmpty());
}

void TestGolden::conversion_data()
{
    // Each folder holds the cases of one format.
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("name");
    const std::pair<const char *, OutputFormat> folders[]
        = {{"", OutputFormat::St}, {"pou", OutputFormat::Pou}, {"plcopen", OutputFormat::PlcOpen}};
    for (const auto &[folder, format] : folders) {
        const QDir dir(goldenDir + '/' + folder);
        for (const QString &net : dir.entryList({"*.ndr"}, QDir::Files, QDir::Name)) {
            const QString name = net.chopped(4);
            QTest::newRow(qPrintable(QString(folder) + (*folder ? "/" : "") + name))
                << dir.path() << int(format) << name;
        }
    }
}

void TestGolden::conversion()
{
    QFETCH(QString, folder);
    QFETCH(int, format);
    QFETCH(QString, name);
    // Nets are named relative to their folder, so that the traces and diagnostics that name the
    // file stay the same wherever the sources are.
    QVERIFY(QDir::setCurrent(folder));
    QTemporaryDir outDir;
    QVERIFY(outDir.isValid());

    const std::string netName = QFile::encodeName(name + ".ndr").toStdString();
    ConversionJob job {netName, QFile::encodeName(outDir.path()).toStdString(),
                       baseNameFor(netName)};
    job.format = OutputFormat(format);
    TextSink trace;
    const ConversionResult result = convertNet(job, &trace);
    QByteArray diagnostics;
    for (const Diagnostic &diagnostic : result.diagnostics.all())
        diagnostics += QByteArray::fromStdString(diagnostic.format()) + '\n';
    const QString program
        = QString::fromStdString(programFileName(name.toStdString(), OutputFormat(format)));

    const struct
    {
        QByteArray actual;
        QString golden;
    } outputs[] = {
        {QByteArray(trace.text().data(), int(trace.text().size())), name + ".out"},
        {diagnostics, name + ".err"},
        {readAll(outDir.filePath(name + ".log")), name + ".log"},
        {readAll(outDir.filePath(program)), program},
    };
    for (const auto &output : outputs) {
        // A case without diagnostics has no .err file.
        const QByteArray expected = output.golden.endsWith(".err") && !QFile::exists(output.golden)
            ? QByteArray()
            : readAll(output.golden);
        QVERIFY2(output.actual == expected,
                 qPrintable(output.golden + ": " + difference(expected, output.actual)));
    }
    const QStringList written
        = QDir(outDir.path())
              .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(written, QStringList({name + ".log", program}));
}

QTEST_APPLESS_MAIN(TestGolden)
#include "tst_golden.moc"
