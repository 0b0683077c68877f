// Reading .ndr text into the net: the cases of tests/data/reader.cases (traces byte for byte, the
// net through its dump), each read again from a file, and sizes that a case file cannot show.

#include "net/netreader.h"
#include "tests/casefile.h"
#include "tests/netdump.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace trilette;

namespace {

/// The dump, the traces and the diagnostics of a net read from `text`, or from the file `path`
/// holding it; the end line that every case lacks, said last, aside.
QByteArrayList read(const QByteArray &text, const QString &path = {})
{
    Net net;
    TextSink traces;
    Diagnostics found;
    const std::string name = path.isEmpty() ? "t.ndr" : path.toStdString();
    const ReadResult result = path.isEmpty()
        ? readNetText(std::string_view(text.constData(), size_t(text.size())), name, net, &traces,
                      &found)
        : readNetFile(name, net, &traces, &found);
    QByteArray said = result == ReadResult::Done ? "" : "non lu\n";
    for (const Diagnostic &d : found.all())
        if (d.message.find("ligne de fin") == std::string::npos
            && d.message != "aucune place ni transition")
            said += QByteArray::fromStdString(d.format()) + '\n';
    return {QByteArray::fromStdString(dumpNet(net)),
            QByteArray::fromStdString(std::string(traces.text())).replace(name.c_str(), "t.ndr"),
            said.replace(name.c_str(), "t.ndr")};
}

} // namespace

class TestReader : public QObject
{
    Q_OBJECT

private slots:
    void cases()
    {
        for (const TextCase &c : readCaseFile(TRILETTE_SOURCE_DIR "/tests/data/reader.cases")) {
            const QByteArray input = c.text(""), name = c.name.toUtf8() + '\n';
            const QByteArrayList seen = read(input);
            QCOMPARE(name + seen[0], name + c.text("net"));
            if (c.find("traces"))
                QCOMPARE(name + seen[1], name + c.text("traces"));
            QCOMPARE(name + seen[2], name + c.text("diagnostics"));
            // A file is read in blocks, cut into lines on a second thread: it reads exactly as
            // the same text given whole (tst_readerthreads reads texts of many blocks).
            if (input.contains('\0'))
                continue;
            QTemporaryDir dir;
            QFile file(dir.filePath("t.ndr"));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(input) == input.size());
            file.close();
            QCOMPARE(read(input, file.fileName()), seen);
        }
    }

    void longLinesAreReadWhole()
    {
        const std::string name(5000, 'N'), a(3000, 'a'), b(3000, 'b'), c(300, 'c');
        const std::string text = "t 1 2 " + name + " 0 w n x {[" + a + ";" + b + "]} y\np 1 2 "
            + name + " 1 n {[" + c + "]}\ne " + name + " " + name + " 1 n\n";
        QCOMPARE(read(text.c_str())[0].toStdString(),
                 "P " + name + " m=1 n=1 a=[" + c + "]\nT " + name + " p=[" + a + "] a=[" + b
                     + "] in=0[] out=1[1*" + name + "]\n");
    }

    void millionRecords()
    {
        // Building and releasing a long net must not recurse along the `next` links.
        Net net;
        QCOMPARE(readNetText(QByteArray("p 0 0 P 1 n\n").repeated(1000000).toStdString(), "big.ndr",
                             net, nullptr),
                 ReadResult::Done);
        QCOMPARE(net.placeCount(), size_t(1000000));
    }
};

QTEST_APPLESS_MAIN(TestReader)
#include "tst_reader.moc"
