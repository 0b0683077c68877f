// The checks of a net: the cases of tests/data/checks.cases, and what `trilette-cli --check`
// says of every real net, diagnostics byte for byte; the reference firing rule on priorities.

#include "net/netcheck.h"
#include "net/netreader.h"
#include "run/conversion.h"
#include "tests/casefile.h"
#include "tests/plc/simulator.h"

#include <QtTest>

using namespace trilette;

namespace {

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

class TestChecks : public QObject
{
    Q_OBJECT

private slots:
    void cases()
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

QTEST_APPLESS_MAIN(TestChecks)
#include "tst_checks.moc"
