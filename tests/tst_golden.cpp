// Golden files, written by hand: each tests/golden/<case>.ndr is converted to the statement list,
// those of tests/golden/pou/ to a complete POU and those of tests/golden/plcopen/ to PLCopen XML;
// the traces, the diagnostics, the structure log and the program are compared byte for byte
// with <case>.out, <case>.err (absent when nothing is said), <case>.log and the program's file,
// and nothing else is written.

#include "run/conversion.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace trilette;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestGolden : public QObject
{
    Q_OBJECT

private slots:
    void conversion_data()
    {
        // PLCopen XML carries its creation time: a fixed one keeps the files comparable.
        qputenv("SOURCE_DATE_EPOCH", "0");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("name");
        const std::pair<const char *, OutputFormat> folders[]
            = {{"", OutputFormat::St},
               {"/pou", OutputFormat::Pou},
               {"/plcopen", OutputFormat::PlcOpen}};
        for (const auto &[folder, format] : folders) {
            const QDir dir(TRILETTE_SOURCE_DIR "/tests/golden" + QString(folder));
            for (const QString &net : dir.entryList({"*.ndr"}, QDir::Files, QDir::Name))
                QTest::newRow(qPrintable(folder + net))
                    << dir.path() << int(format) << net.chopped(4);
        }
    }

    void conversion()
    {
        QFETCH(QString, folder);
        QFETCH(int, format);
        QFETCH(QString, name);
        // Nets are named relative to their folder, so that what names the file stays the same
        // wherever the sources are.
        QVERIFY(QDir::setCurrent(folder));
        QTemporaryDir out;
        const std::string net = QFile::encodeName(name + ".ndr").toStdString();
        ConversionJob job {net, QFile::encodeName(out.path()).toStdString(), baseNameFor(net)};
        job.format = OutputFormat(format);
        TextSink trace;
        const ConversionResult result = convertNet(job, &trace);
        QByteArray diagnostics;
        for (const Diagnostic &diagnostic : result.diagnostics.all())
            diagnostics += QByteArray::fromStdString(diagnostic.format()) + '\n';
        const QString program
            = QString::fromStdString(programFileName(name.toStdString(), job.format));
        const std::pair<QByteArray, QString> outputs[] = {
            {QByteArray(trace.text().data(), int(trace.text().size())), name + ".out"},
            {diagnostics, name + ".err"},
            {readAll(out.filePath(name + ".log")), name + ".log"},
            {readAll(out.filePath(program)), program},
        };
        for (const auto &[actual, golden] : outputs) {
            // Where the texts part, line by line, with the golden file's name.
            const QByteArrayList got = actual.split('\n'), want = readAll(golden).split('\n');
            int line = 0;
            while (line < got.size() && line < want.size() && got[line] == want[line])
                ++line;
            const QByteArray at = golden.toUtf8() + ':' + QByteArray::number(line + 1) + ": ";
            QCOMPARE(at + got.value(line, "(fin)"), at + want.value(line, "(fin)"));
        }
        QCOMPARE(QDir(out.path())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
                 QStringList({name + ".log", program}));
    }
};

QTEST_APPLESS_MAIN(TestGolden)
#include "tst_golden.moc"
