// A net read and checked: the cases of tests/data/reader.cases (traces byte for byte, the net
// through its dump), each read again from a file, and sizes that a case file cannot show; the
// cases of tests/data/checks.cases, and what `trilette-cli --check` says of every real net,
// diagnostics byte for byte; the reference firing rule on priorities.

#include "net/netcheck.h"
#include "net/netreader.h"
#include "run/conversion.h"
#include "tests/casefile.h"
#include "tests/netdump.h"
#include "tests/plc/simulator.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace trilette;

namespace {

/// A net read from `text`, or from the file `path` holding it, as a case writes it: its dump,
/// its traces where `traced`, its diagnostics but the end line's that every case lacks.
QByteArray read(const QByteArray &text, bool traced, const QString &path = {})
{
    Net net;
    TextSink traces;
    Diagnostics found;
    const std::string name = path.isEmpty() ? "t.ndr" : path.toStdString();
    const ReadResult result = path.isEmpty()
        ? readNetText(std::string_view(text.constData(), size_t(text.size())), name, net, &traces,
                      &found)
        : readNetFile(name, net, &traces, &found);
    QByteArray said = QByteArray::fromStdString(dumpNet(net));
    if (traced)
        said += "--- traces\n" + QByteArray(traces.text().data(), int(traces.text().size()));
    said += result == ReadResult::Done ? "--- diagnostics\n" : "--- non lu\n";
    for (const Diagnostic &d : found.all())
        if (d.message.find("ligne de fin") == std::string::npos
            && d.message != "aucune place ni transition")
            said += QByteArray::fromStdString(d.format()) + '\n';
    return said.replace(name.c_str(), "t.ndr");
}

QByteArray lines(const Diagnostics &diagnostics, const QByteArray &prefix = {})
{
    QByteArray said;
    for (const Diagnostic &d : diagnostics.all()) {
        const QByteArray line = QByteArray::fromStdString(d.format());
        said += (line.startsWith(prefix) ? line.mid(prefix.size()) : line) + '\n';
    }
    return said;
}

} // namespace

class TestNet : public QObject
{
    Q_OBJECT

private slots:
    void reading()
    {
        for (const TextCase &c : readCaseFile(TRILETTE_SOURCE_DIR "/tests/data/reader.cases")) {
            const QByteArray input = c.text(""), name = c.name.toUtf8() + '\n';
            const QByteArray traces = c.find("traces") ? "--- traces\n" + c.text("traces") : "";
            QCOMPARE(name + read(input, c.find("traces")),
                     name + c.text("net") + traces + "--- diagnostics\n" + c.text("diagnostics"));
            // A file is read in blocks, cut into lines on a second thread: it reads exactly as
            // the same text given whole (tst_readerthreads reads texts of many blocks).
            if (input.contains('\0'))
                continue;
            QTemporaryDir dir;
            QFile file(dir.filePath("t.ndr"));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(input) == input.size());
            file.close();
            QCOMPARE(read(input, true, file.fileName()), read(input, true));
        }
    }

    void sizes()
    {
        // Long lines are read whole.
        const std::string name(5000, 'N'), a(3000, 'a'), b(3000, 'b'), c(300, 'c');
        const std::string text = "t 1 2 " + name + " 0 w n x {[" + a + ";" + b + "]} y\np 1 2 "
            + name + " 1 n {[" + c + "]}\ne " + name + " " + name + " 1 n\n";
        QCOMPARE(read(text.c_str(), false).toStdString(),
                 "P " + name + " m=1 n=1 a=[" + c + "]\nT " + name + " p=[" + a + "] a=[" + b
                     + "] in=0[] out=1[1*" + name + "]\n--- diagnostics\n");
        // Building and releasing a long net must not recurse along the `next` links.
        Net net;
        QCOMPARE(readNetText(QByteArray("p 0 0 P 1 n\n").repeated(1000000).toStdString(), "big.ndr",
                             net, nullptr),
                 ReadResult::Done);
        QCOMPARE(net.placeCount(), size_t(1000000));
    }

    void checks()
    {
        for (const TextCase &c : readCaseFile(TRILETTE_SOURCE_DIR "/tests/data/checks.cases")) {
            Net net;
            Diagnostics found;
            readNetText(c.text("").toStdString(), "t.ndr", net, nullptr, &found);
            const bool strict = c.text("options").contains("strict");
            checkNet(net, "t.ndr", {strict, c.text("options").contains("timed")}, found);
            if (!strict)
                checkStNames(net, "t.ndr", found);
            found.sortByLine();
            const QByteArray said = lines(found);
            QVERIFY2(said == c.text("diagnostics"), qPrintable(c.name + " :\n" + said));
        }
    }

    // Every real net checked for st and for pou, each file named as it stands in the corpus
    // folder: the golden files were read once by hand, every line true of its net.
    void corpus()
    {
        const QDir corpus(QStringLiteral(TRILETTE_CORPUS_DIR));
        const QStringList files = corpus.entryList({"*.ndr"}, QDir::Files, QDir::Name);
        if (files.isEmpty())
            QSKIP("pas de réseaux réels à côté du dépôt (../shared/corpus/ndr)");
        const QByteArray prefix = QFile::encodeName(corpus.path()) + '/';
        for (const auto &[format, golden] : {std::pair(OutputFormat::St, "check_st.txt"),
                                             std::pair(OutputFormat::Pou, "check_pou.txt")}) {
            QByteArray said;
            for (const QString &file : files) {
                ConversionJob job {
                    prefix.toStdString() + file.toStdString(), {}, baseNameFor(file.toStdString())};
                job.format = format;
                job.checkOnly = true;
                said += lines(convertNet(job, nullptr).diagnostics, prefix);
            }
            QFile expected(TRILETTE_SOURCE_DIR "/tests/golden/corpus/" + QString(golden));
            QVERIFY(expected.open(QIODevice::ReadOnly));
            QCOMPARE(said, expected.readAll());
        }
    }

    // The reference firing rule on priorities t1 > t2 > t3, t3 listed first, where t2 cannot
    // fire: in the first scan t1 can fire, so t3, below it through t2, waits; in the second t1
    // has fired and t3 fires.
    void priorityChain()
    {
        Net net;
        readNetText("p 0 0 P1 1 n\np 0 0 P2 0 n\np 0 0 P3 1 n\nt 0 0 t3 c 0 w n\nt 0 0 t2 c 0 w n\n"
                    "t 0 0 t1 c 0 w n\ne P3 t3 1 n\ne P2 t2 1 n\ne P1 t1 1 n\ne t1 t2 1 n\n"
                    "e t2 t3 1 n\nh n\n",
                    "t.ndr", net, nullptr, nullptr);
        Simulator reference(net, 1000);
        QByteArray fired;
        for (int time : {0, 50}) {
            reference.scan(time, false);
            for (const Transition *t : reference.fired())
                fired += QByteArray(t->name.data(), int(t->name.size())) + ' ';
            fired += "| ";
        }
        QCOMPARE(fired, QByteArray("t1 | t3 | "));
        QVERIFY(reference.violations().empty());
    }
};

QTEST_APPLESS_MAIN(TestNet)
#include "tst_net.moc"
