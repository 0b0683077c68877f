// Golden files: each tests/golden/<case>.ndr is converted and its traces, structure log and ST
// program compared byte for byte with <case>.out, <case>.log and <case>_ST.txt, written by hand.

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
    // Nets are named relative to their folder, so that traces naming the file stay the same
    // wherever the sources are.
    QVERIFY(QDir::setCurrent(goldenDir));
    QVERIFY(!QDir().entryList({"*.ndr"}, QDir::Files).isEmpty());
}

void TestGolden::conversion_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &net : QDir(goldenDir).entryList({"*.ndr"}, QDir::Files, QDir::Name)) {
        const QString name = net.chopped(4);
        QTest::newRow(qPrintable(name)) << name;
    }
}

void TestGolden::conversion()
{
    QFETCH(QString, name);
    QTemporaryDir outDir;
    QVERIFY(outDir.isValid());

    const std::string netName = QFile::encodeName(name + ".ndr").toStdString();
    ConversionJob job {netName, QFile::encodeName(outDir.path()).toStdString(),
                       baseNameFor(netName)};
    TextSink trace;
    ConversionResult result = convertNet(job, &trace);
    for (const Diagnostic &diagnostic : result.diagnostics.all())
        QVERIFY2(diagnostic.severity != Severity::Error, diagnostic.format().c_str());

    const struct
    {
        QByteArray actual;
        QString golden;
    } outputs[] = {
        {QByteArray(trace.text().data(), int(trace.text().size())), name + ".out"},
        {readAll(outDir.filePath(name + ".log")), name + ".log"},
        {readAll(outDir.filePath(name + "_ST.txt")), name + "_ST.txt"},
    };
    for (const auto &output : outputs) {
        const QByteArray expected = readAll(output.golden);
        QVERIFY2(output.actual == expected,
                 qPrintable(output.golden + ": " + difference(expected, output.actual)));
    }
    const QStringList written
        = QDir(outDir.path())
              .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(written, QStringList({name + ".log", name + "_ST.txt"}));
}

QTEST_APPLESS_MAIN(TestGolden)
#include "tst_golden.moc"
