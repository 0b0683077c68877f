// Proof by running the programs: each net of a set (golden cases, real nets, random nets, nets
// that once failed) is written as a complete POU and, where it can run as it stands, as the `st`
// statement list wrapped in the declarations a PLC project gives it (those its own comments ask
// for included; intervals left out). Each program is compiled with matiec's iec2c and cc, and run
// for 1,200 scans with random inputs, INIT now and then and an advancing clock; after every scan,
// every marking and output must equal the reference firing rule's, and every firing must be legal
// under Tina's rule. A failing net is named in the message (aleatoire_N is randomNet(N)); cut
// down, it joins tests/data/plc/ as echec_SEED_NAME.ndr. Skipped without matiec or cc.

#include "codegen/pouwriter.h"
#include "codegen/stwriter.h"
#include "codegen/symbols.h"
#include "net/netcheck.h"
#include "net/netreader.h"
#include "st/words.h"
#include "tests/plc/plcrunner.h"
#include "tests/plc/randomnet.h"
#include "tests/plc/simulator.h"

#include <QtTest>

#include <random>
#include <sstream>

using namespace trilette;

namespace {

const std::string matiecDir = TRILETTE_MATIEC_DIR;
constexpr int scanCount = 1200;
/// A net's time unit is the second here: scans 50 ms to 1.5 s apart make the waits of 1 to 4
/// units end at every point of a scan.
constexpr int64_t unitMs = 1000;

struct NetCase
{
    std::string name, text;
    TimeUnit unit = TimeUnit::Seconds;
};

/// One net ready to run: read, checked, its program written.
struct Prepared
{
    Net net;
    std::unique_ptr<ProgramSymbols> symbols;
    std::unique_ptr<Simulator> reference;
    std::string name, program; // PROGRAM ... END_PROGRAM
    PlcProgramInfo info;
};

/// How many statement lists have run, for a check that random nets give some.
size_t statementListsRun = 0;

/// A value that depends only on the seed, the scan and the input's name, so that a net keeps
/// its inputs' values in any batch.
Value inputValue(uint32_t seed, int scan, const Variable &input)
{
    std::seed_seq sequence {seed, uint32_t(scan),
                            uint32_t(std::hash<std::string>()(upperCase(input.name)))};
    std::mt19937 random(sequence);
    return input.type == VariableType::Bool ? Value::boolean(random() % 10 < 6)
                                            : Value::dint(int32_t(random() % 9) - 2);
}

/// The statement list of the `st` format in a PROGRAM with the declarations a PLC project gives
/// it; false when that list cannot run as it stands: a name that the complete formats change, a
/// block without a statement (a firing block, INIT without a place), a place that only arcs
/// name (neither initialised nor copied in BLOC M).
bool wrapStatementList(const Prepared &p, std::string *program)
{
    const ProgramSymbols &symbols = *p.symbols;
    if (!symbols.placeholder().empty() || !p.net.undeclaredPlaces().empty() || !p.net.firstPlace())
        return false;
    std::string inputs, outputs, places;
    for (const Variable &v : symbols.inputs()) {
        if (v.identifier != "INIT" && upperCase(v.identifier) != upperCase(v.name))
            return false;
        inputs += "    " + v.identifier + " : " + typeName(v.type) + ";\n";
    }
    for (const std::string &output : p.reference->outputs()) {
        if (symbols.output(output) != output)
            return false;
        outputs += "    " + output + " : BOOL;\n";
    }
    const std::vector<int64_t> initial = p.reference->values(); // no scan yet: the initial marking
    for (size_t i = 0; i < p.reference->places().size(); ++i) {
        const std::string &place = p.reference->places()[i];
        if (symbols.place(place) != place)
            return false;
        for (const char *suffix : {"p", "s"})
            places += "    " + place + suffix + " : DINT := " + std::to_string(initial[i]) + ";\n";
    }
    TextSink body;
    writeStCode(p.net, body, nullptr);
    appendOutputBlock(p.net, body);
    // The variables that the program's own comments ask the project to declare, as they stand.
    const std::string text(body.text()), asked = "déclarer dans le projet :";
    for (size_t at = text.find(asked); at != std::string::npos; at = text.find(asked, at)) {
        at += asked.size();
        std::istringstream list(text.substr(at, text.find(" *)", at) - at));
        for (std::string name, colon, type; list >> name >> colon >> type;)
            places += "    " + name + " : " + type + "\n";
    }
    // Blocks without a variable are left out: strict compilers refuse them.
    auto block = [](const char *kind, const std::string &variables) {
        return variables.empty() ? std::string() : kind + ("\n" + variables) + "END_VAR\n";
    };
    *program = "PROGRAM " + symbols.programName() + "\n" + block("VAR_INPUT", inputs)
        + block("VAR_OUTPUT", outputs) + block("VAR", places) + text + "END_PROGRAM\n";
    return true;
}

/// Reads, checks and writes one net as a complete program, or with `statementList` as the
/// statement list wrapped in its declarations; false with the errors when it has some (and
/// with none when the statement list cannot compile as it stands).
bool prepare(Prepared &p, const NetCase &source, size_t number, bool statementList,
             std::string *why)
{
    Diagnostics diagnostics;
    readNetText(source.text, source.name, p.net, nullptr, &diagnostics);
    if (statementList)
        for (Transition *t = p.net.transitionHead()->next; t; t = t->next)
            t->interval = TimeInterval();
    checkNet(p.net, source.name, {true, true}, diagnostics);
    const std::string name = (statementList ? "Liste_" : "Net_") + std::to_string(number);
    p.symbols
        = std::make_unique<ProgramSymbols>(p.net, name, source.unit, source.name, diagnostics);
    for (const Diagnostic &d : diagnostics.all())
        if (d.severity == Severity::Error)
            *why += d.format() + "\n";
    if (diagnostics.hasErrors())
        return false;
    p.name = source.name + (statementList ? " (st)" : " (pou)");
    p.reference = std::make_unique<Simulator>(
        p.net, source.unit == TimeUnit::Minutes ? 60 * unitMs : unitMs);
    if (statementList && !wrapStatementList(p, &p.program))
        return false;
    if (!statementList) {
        TextSink pou;
        writePou(p.net, *p.symbols, source.name, pou);
        const std::string text(pou.text());
        const size_t begin = text.find("PROGRAM ");
        p.program = text.substr(begin, text.find("END_PROGRAM\n") + 12 - begin);
    }
    p.info.programType = p.symbols->programName();
    for (const Variable &v : p.symbols->inputs())
        p.info.inputs.push_back(v.identifier);
    for (const std::string &place : p.reference->places())
        p.info.observed.push_back(std::string(p.symbols->place(place)) + "p");
    for (const std::string &output : p.reference->outputs())
        p.info.observed.emplace_back(p.symbols->output(output));
    return true;
}

/// Runs a batch of nets in one program and compares them with the reference, scan by scan;
/// returns the failure of the first net that fails, or an empty text. Nets with errors fail, or
/// with `skipErrors` are left out.
std::string prove(const std::vector<NetCase> &nets, uint32_t seed, bool skipErrors)
{
    std::vector<std::unique_ptr<Prepared>> batch;
    std::vector<PlcProgramInfo> programs;
    std::string pous;
    for (size_t i = 0; i < nets.size(); ++i) {
        for (bool list : {false, true}) {
            auto p = std::make_unique<Prepared>();
            std::string why;
            if (prepare(*p, nets[i], i, list, &why)) {
                pous += p->program + "\n";
                programs.push_back(p->info);
                batch.push_back(std::move(p));
                statementListsRun += list;
            } else if (!list && !skipErrors) {
                return nets[i].name + " : le réseau a des erreurs :\n" + why;
            } else if (!list) {
                break;
            }
        }
    }

    // The inputs, and INIT pulsed now and then, once at least.
    std::vector<PlcValues> scans(scanCount), observed;
    std::vector<bool> init(scanCount);
    std::mt19937 clock(seed);
    for (int k = 0; k < scanCount; ++k) {
        scans[k].push_back((k ? scans[k - 1][0] : 0) + 50 + int64_t(clock() % 1451));
        init[k] = clock() % 100 == 0 || k == scanCount / 2;
        for (const auto &p : batch)
            for (const Variable &v : p->symbols->inputs())
                scans[k].push_back(v.identifier == "INIT" ? init[k]
                                                          : inputValue(seed, k, v).number);
    }
    std::string error;
    if (!batch.empty() && !runPlcProgram(matiecDir, pous, programs, scans, &observed, &error)) {
        for (size_t i = 0; nets.size() > 1 && i < nets.size(); ++i) { // which net, alone?
            const std::string failure = prove({nets[i]}, seed, skipErrors);
            if (!failure.empty())
                return failure;
        }
        return (nets.size() == 1 ? nets[0].name + " : " : "")
            + "le programme ne tourne pas : " + error;
    }

    size_t at = 0; // where the values of a program start in an observed line
    for (const auto &p : batch) {
        Simulator &reference = *p->reference;
        for (int k = 0; k < scanCount; ++k) {
            for (const Variable &v : p->symbols->inputs())
                reference.setInput(v.name, inputValue(seed, k, v));
            reference.scan(scans[k][0], init[k]);
            const std::vector<std::string> &broken = reference.violations();
            const std::vector<int64_t> expected = reference.values();
            const int64_t *seen = observed[k].data() + at;
            size_t v = 0;
            while (v < expected.size() && seen[v] == expected[v])
                ++v;
            if (v == expected.size() && broken.empty())
                continue;
            std::string fired;
            for (const Transition *t : reference.fired())
                fired += " " + std::string(t->name);
            return p->name + ", cycle " + std::to_string(k) + " à " + std::to_string(scans[k][0])
                + " ms" + (init[k] ? " (INIT)" : "") + " : "
                + (broken.empty() ? p->info.observed[v] + " vaut " + std::to_string(seen[v])
                           + " au lieu de " + std::to_string(expected[v])
                                  : "règle de Tina enfreinte : " + broken.front())
                + " ; la référence a tiré :" + (fired.empty() ? " rien" : fired);
        }
        at += p->info.observed.size();
    }
    return std::string();
}

} // namespace

class TestPlcProof : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void nets_data();
    void nets();
};

void TestPlcProof::initTestCase()
{
    if (!QFileInfo(TRILETTE_MATIEC_DIR "/iec2c").isExecutable()
        || QStandardPaths::findExecutable("cc").isEmpty())
        QSKIP("pas de matiec (" TRILETTE_MATIEC_DIR ") ou pas de cc : README.md dit comment "
              "construire iec2c et le désigner");
    // The runner on what the proof rests on: a TON done at the first scan where PT has passed
    // since IN rose, BOOL and DINT values both ways, two instances of a type kept apart, each
    // scan run once.
    const std::string pou = "PROGRAM m VAR_INPUT go : BOOL; k : DINT; END_VAR VAR_OUTPUT fini : "
                            "BOOL; n : DINT; END_VAR VAR h : TON; END_VAR h(IN := go, PT := "
                            "T#250ms); fini := h.Q; n := n + k; END_PROGRAM\n";
    const std::vector<PlcProgramInfo> programs(2, {"m", {"go", "k"}, {"fini", "n"}});
    std::vector<PlcValues> seen;
    std::string error;
    QVERIFY2(runPlcProgram(
                 matiecDir, pou, programs,
                 {{0, 0, 1, 1, 2}, {1000, 1, 1, 1, 2}, {1249, 1, 1, 0, 2}, {1250, 1, -5, 1, 2}},
                 &seen, &error),
             error.c_str());
    QCOMPARE(seen,
             std::vector<PlcValues>({{0, 1, 0, 2}, {0, 2, 1, 4}, {0, 3, 0, 6}, {1, -2, 0, 8}}));
}

void TestPlcProof::nets_data()
{
    // The folder of the nets, or none for random nets from the seed `first`; their time unit.
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("first");
    QTest::addColumn<bool>("minutes");
    const QString golden = TRILETTE_SOURCE_DIR "/tests/golden";
    QTest::newRow("golden cases") << golden << 0 << false;
    QTest::newRow("complete programs") << golden + "/pou" << 0 << false;
    // Minutes have a literal of their own ("T#5m"); 1,200 scans last about a quarter of an hour.
    QTest::newRow("complete programs in minutes") << golden + "/pou" << 0 << true;
    QTest::newRow("real nets") << TRILETTE_CORPUS_DIR << 0 << false;
    // Each net failed once with the seed that its name carries: echec_SEED_....ndr.
    QTest::newRow("nets that once failed") << TRILETTE_SOURCE_DIR "/tests/data/plc" << -1 << false;
#if defined(__SANITIZE_ADDRESS__)
    const int batches = 2; // the sanitizers slow every compile: a sample there
#else
    const int batches = 12;
#endif
    for (int b = 0; b < batches; ++b)
        QTest::addRow("random nets %d-%d", 25 * b + 1, 25 * b + 25)
            << QString() << 25 * b + 1 << false;
}

void TestPlcProof::nets()
{
    QFETCH(QString, folder);
    QFETCH(int, first);
    QFETCH(bool, minutes);
    std::vector<NetCase> nets;
    const QDir dir(folder);
    for (const QString &name : folder.isEmpty() ? QStringList() : dir.entryList({"*.ndr"})) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        nets.push_back({name.toStdString(), file.readAll().toStdString(),
                        minutes ? TimeUnit::Minutes : TimeUnit::Seconds});
    }
    for (int seed = first; folder.isEmpty() && seed < first + 25; ++seed)
        nets.push_back({"aleatoire_" + std::to_string(seed) + ".ndr", randomNet(seed)});
    if (nets.empty())
        QSKIP("pas de réseaux réels à côté du dépôt (../shared/corpus/ndr)");
    auto proved = [](const std::vector<NetCase> &batch, uint32_t seed, bool skipErrors) {
        const std::string failure = prove(batch, seed, skipErrors);
        QVERIFY2(failure.empty(), ("graine " + std::to_string(seed) + ", " + failure).c_str());
    };
    for (size_t i = 0; first < 0 && i < nets.size(); ++i)
        proved({nets[i]}, uint32_t(std::stoul(nets[i].name.substr(6))), false);
    // Real nets and golden cases may have errors (free text for predicates): those are not
    // written, so there is nothing to run. Random nets must all be written, and a fair share
    // of them run as statement lists too.
    const size_t listsBefore = statementListsRun;
    if (first >= 0)
        proved(nets, uint32_t(first + 7), !folder.isEmpty());
    QVERIFY(!folder.isEmpty() || statementListsRun - listsBefore >= nets.size() / 5);
}

QTEST_APPLESS_MAIN(TestPlcProof)
#include "tst_plcproof.moc"
