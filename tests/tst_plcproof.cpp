// Proof by running the programs: each net of a set (the golden cases, the real nets whose
// program compiles, a few hundred random nets, the nets that once failed) is written as a complete
// POU, and as the statement list of the `st` format wrapped in the declarations that a PLC
// project would give it (the inputs, the outputs, the marking variables with the initial
// marking) where its names are valid identifiers, its blocks have statements and its intervals
// are left out (`st` has no timers). Each program is compiled with matiec's iec2c and a C
// compiler, and run for 1,200 scans with random inputs and a clock that advances. After every scan,
// every marking and every output must equal what the reference firing rule computes for the same
// scan, inputs and time, and that rule must have found every firing legal under Tina's rule. A net
// that fails is shrunk to the fewest lines that still fail and written out (its path is in the
// failure message), to be added to tests/data/plc/. Skipped where the matiec folder or a C compiler
// is missing.

#include "codegen/pouwriter.h"
#include "codegen/stwriter.h"
#include "codegen/symbols.h"
#include "net/netcheck.h"
#include "net/netreader.h"
#include "st/words.h"
#include "tests/plc/plcrunner.h"
#include "tests/plc/randomnet.h"
#include "tests/plc/simulator.h"

#include <QElapsedTimer>
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
    std::string name;
    std::string text;
    TimeUnit unit = TimeUnit::Seconds;
};

/// One net ready to run: read, checked, its program written.
struct Prepared
{
    NetCase source;
    Net net;
    std::unique_ptr<ProgramSymbols> symbols;
    std::string program; // PROGRAM ... END_PROGRAM
    PlcProgramInfo info;
    std::unique_ptr<Simulator> reference;
    /// Whether the program is the statement list of `st`, not a complete program.
    bool statementList = false;
};

/// How many statement lists were batched to run, for a check that random nets give some.
size_t statementListsRun = 0;

/// A value that depends only on the seed, the scan and the input's name, so that a net keeps
/// its inputs' values while it is shrunk.
int64_t inputValue(uint32_t seed, int scan, const std::string &name, bool isBool)
{
    std::seed_seq sequence {seed, uint32_t(scan), uint32_t(std::hash<std::string>()(name))};
    std::mt19937 random(sequence);
    return isBool ? int64_t(random() % 10 < 6) : int64_t(random() % 9) - 2;
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
        inputs
            += "    " + v.identifier + (v.type == VariableType::Bool ? " : BOOL;\n" : " : DINT;\n");
    }
    for (const std::string &output : p.reference->outputs()) {
        if (symbols.output(output) != output)
            return false;
        outputs += "    " + output + " : BOOL;\n";
    }
    for (const std::string &place : p.reference->places()) {
        if (symbols.place(place) != place)
            return false;
        int32_t marking = 0;
        for (const Place *q = p.net.firstPlace(); q; q = q->next)
            if (q->firstOfName && q->name == place)
                marking = q->marking;
        for (const char *suffix : {"p", "s"})
            places += "    " + place + suffix + " : DINT := " + std::to_string(marking) + ";\n";
    }
    TextSink body;
    writeStCode(p.net, body, nullptr);
    appendOutputBlock(p.net, body);
    // The variables that the program's own comments ask the project to declare, pasted as
    // they stand.
    const std::string_view text = body.text();
    const std::string_view asked = "d\xC3\xA9"
                                   "clarer dans le projet : ";
    for (size_t at = text.find(asked); at != std::string_view::npos; at = text.find(asked, at)) {
        at += asked.size();
        const size_t end = text.find(" *)", at);
        std::string_view list = text.substr(at, end - at);
        while (!list.empty()) {
            const size_t semicolon = list.find(';');
            places += "    " + std::string(list.substr(0, semicolon + 1)) + "\n";
            list.remove_prefix(std::min(list.size(), semicolon + 2));
        }
    }
    // Blocks without a variable are left out: strict compilers refuse them.
    auto block = [](const char *kind, const std::string &variables) {
        return variables.empty() ? std::string() : kind + ("\n" + variables) + "END_VAR\n";
    };
    *program = "PROGRAM " + symbols.programName() + "\n" + block("VAR_INPUT", inputs)
        + block("VAR_OUTPUT", outputs) + block("VAR", places) + std::string(body.text())
        + "END_PROGRAM\n";
    return true;
}

/// Reads, checks and writes one net as a complete program, or with `statementList` as the
/// statement list wrapped in its declarations; false with the reason when it has errors (and
/// without one when the statement list cannot compile as it stands).
bool prepare(Prepared &p, int number, bool statementList, std::string *why)
{
    Diagnostics diagnostics;
    readNetText(p.source.text, p.source.name, p.net, nullptr, &diagnostics);
    if (statementList)
        for (Transition *t = p.net.transitionHead()->next; t; t = t->next)
            t->interval = TimeInterval();
    checkNet(p.net, p.source.name, {true, true}, diagnostics);
    const std::string name = (statementList ? "Liste_" : "Net_") + std::to_string(number);
    p.symbols
        = std::make_unique<ProgramSymbols>(p.net, name, p.source.unit, p.source.name, diagnostics);
    if (diagnostics.hasErrors()) {
        for (const Diagnostic &d : diagnostics.all())
            if (d.severity == Severity::Error)
                *why += d.format() + "\n";
        return false;
    }
    p.reference = std::make_unique<Simulator>(
        p.net, p.source.unit == TimeUnit::Minutes ? 60 * unitMs : unitMs);
    if (statementList) {
        if (!wrapStatementList(p, &p.program))
            return false;
    } else {
        TextSink pou;
        writePou(p.net, *p.symbols, p.source.name, pou);
        const std::string_view text = pou.text();
        const size_t begin = text.find("PROGRAM ");
        const size_t end = text.find("END_PROGRAM\n") + 12;
        p.program = std::string(text.substr(begin, end - begin));
    }

    p.info.programType = p.symbols->programName();
    p.info.instanceName = (statementList ? "L_" : "I_") + std::to_string(number);
    for (const Variable &v : p.symbols->inputs())
        p.info.inputs.push_back(
            {v.identifier, v.type == VariableType::Bool ? PlcVariable::Bool : PlcVariable::Dint});
    for (const std::string &place : p.reference->places())
        p.info.observed.push_back({std::string(p.symbols->place(place)) + "p", PlcVariable::Dint});
    for (const std::string &output : p.reference->outputs())
        p.info.observed.push_back({std::string(p.symbols->output(output)), PlcVariable::Bool});
    return true;
}

/// Runs a batch of nets in one program and compares them with the reference; returns the
/// failure of the first net that fails, with its index, or an empty text.
std::string prove(const std::vector<NetCase> &nets, uint32_t seed, size_t *failing,
                  size_t *skipped = nullptr)
{
    std::vector<std::unique_ptr<Prepared>> batch;
    for (size_t i = 0; i < nets.size(); ++i) {
        auto p = std::make_unique<Prepared>();
        p->source = nets[i];
        std::string why;
        if (!prepare(*p, int(i), false, &why)) {
            if (skipped) {
                ++*skipped;
                continue;
            }
            *failing = i;
            return nets[i].name + " : le réseau a des erreurs :\n" + why;
        }
        batch.push_back(std::move(p));
        auto list = std::make_unique<Prepared>();
        list->source = nets[i];
        if (prepare(*list, int(i), true, &why)) {
            list->statementList = true;
            batch.push_back(std::move(list));
            ++statementListsRun;
        }
    }
    if (batch.empty())
        return std::string();

    std::string unit;
    std::vector<PlcProgramInfo> programs;
    for (const auto &p : batch) {
        unit += p->program + "\n";
        programs.push_back(p->info);
    }
    unit += "CONFIGURATION Config\n    RESOURCE Ressource ON PLC\n        TASK Tache(INTERVAL := "
            "T#10ms, PRIORITY := 0);\n";
    for (const auto &p : batch)
        unit += "        PROGRAM " + p->info.instanceName + " WITH Tache : " + p->info.programType
            + ";\n";
    unit += "    END_RESOURCE\nEND_CONFIGURATION\n";

    PlcRunner runner(matiecDir);
    std::string error;
    if (!runner.build(unit, "Ressource", programs, &error)) {
        *failing = nets.size() == 1 ? 0 : SIZE_MAX;
        return "le programme est refusé :\n" + error;
    }

    std::vector<PlcScan> scans(scanCount);
    std::vector<bool> init(scanCount);
    std::mt19937 clock(seed);
    int64_t now = 0;
    for (int k = 0; k < scanCount; ++k) {
        now += 50 + int64_t(clock() % 1451);
        init[k] = clock() % 100 == 0;
        scans[k].timeMs = now;
        for (const auto &p : batch) {
            std::vector<int64_t> values;
            for (const Variable &v : p->symbols->inputs())
                values.push_back(v.identifier == "INIT" ? int64_t(init[k])
                                                        : inputValue(seed, k, upperCase(v.name),
                                                                     v.type == VariableType::Bool));
            scans[k].inputs.push_back(values);
        }
    }
    std::vector<PlcObservation> observed;
    if (!runner.run(scans, &observed, &error)) {
        *failing = nets.size() == 1 ? 0 : SIZE_MAX;
        return "le programme s'est arrêté : " + error;
    }

    for (size_t n = 0; n < batch.size(); ++n) {
        Prepared &p = *batch[n];
        Simulator &reference = *p.reference;
        const std::vector<Variable> &inputs = p.symbols->inputs();
        for (int k = 0; k < scanCount; ++k) {
            for (size_t i = 1; i < inputs.size(); ++i) {
                const int64_t value = scans[k].inputs[n][i];
                reference.setInput(inputs[i].name,
                                   inputs[i].type == VariableType::Bool
                                       ? Value::boolean(value != 0)
                                       : Value::dint(int32_t(value)));
            }
            reference.scan(scans[k].timeMs, init[k]);
            std::string difference;
            const std::vector<int64_t> &values = observed[k][n];
            const size_t places = reference.places().size();
            for (size_t v = 0; v < values.size() && difference.empty(); ++v) {
                const int64_t expected
                    = v < places ? reference.marking(v) : reference.output(v - places);
                if (values[v] != expected)
                    difference = p.info.observed[v].name + " vaut " + std::to_string(values[v])
                        + " au lieu de " + std::to_string(expected);
            }
            if (!reference.violations().empty())
                difference = "règle de Tina enfreinte : " + reference.violations().front();
            if (!difference.empty()) {
                std::string fired;
                for (const Transition *t : reference.fired())
                    fired += " " + std::string(t->name);
                for (size_t b = 0; b < nets.size(); ++b)
                    if (nets[b].name == p.source.name)
                        *failing = b;
                return p.source.name + (p.statementList ? " (st)" : " (pou)") + ", cycle "
                    + std::to_string(k) + " à " + std::to_string(scans[k].timeMs) + " ms"
                    + (init[k] ? " (INIT)" : "") + " : " + difference
                    + " ; la référence a tiré :" + (fired.empty() ? " rien" : fired);
            }
        }
    }
    return std::string();
}

/// A smaller net that still fails: chunks of lines, then single lines, are dropped while the
/// net keeps failing (delta debugging), for at most two minutes.
NetCase shrink(NetCase net, uint32_t seed)
{
    QElapsedTimer clock;
    clock.start();
    std::vector<std::string> lines, end;
    std::istringstream in(net.text);
    for (std::string line; std::getline(in, line);)
        (line.rfind("h", 0) == 0 ? end : lines).push_back(line);
    auto textOf = [&](const std::vector<std::string> &kept) {
        std::string text;
        for (const std::string &line : kept)
            text += line + "\n";
        for (const std::string &line : end)
            text += line + "\n";
        return text;
    };
    size_t parts = 2;
    while (lines.size() > 1 && clock.elapsed() < 120000) {
        const size_t chunk = (lines.size() + parts - 1) / parts;
        bool dropped = false;
        for (size_t start = 0; start < lines.size() && !dropped; start += chunk) {
            std::vector<std::string> kept(lines.begin(), lines.begin() + long(start));
            kept.insert(kept.end(), lines.begin() + long(std::min(start + chunk, lines.size())),
                        lines.end());
            NetCase candidate {net.name, textOf(kept), net.unit};
            size_t failing = 0;
            if (!prove({candidate}, seed, &failing).empty()) {
                lines = kept;
                parts = std::max<size_t>(parts - 1, 2);
                dropped = true;
            }
        }
        if (!dropped) {
            if (parts >= lines.size())
                break;
            parts = std::min(lines.size(), parts * 2);
        }
    }
    net.text = textOf(lines);
    return net;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestPlcProof : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void nets_data();
    void nets();

private:
    void check(const std::vector<NetCase> &nets, uint32_t seed, bool skipNetsWithErrors);
};

void TestPlcProof::initTestCase()
{
    std::string why;
    if (!plcToolsAvailable(matiecDir, &why))
        QSKIP(qPrintable(
            QString::fromStdString("matiec ou le compilateur C manque : " + why
                                   + " ; README.md dit comment construire iec2c et le désigner")));
}

void TestPlcProof::nets_data()
{
    // Which set, and for random nets the first seed of the batch.
    QTest::addColumn<QString>("set");
    QTest::addColumn<int>("first");
    QTest::newRow("golden cases") << "golden" << 0;
    // Minutes have a literal of their own ("T#5m"); 1,200 scans last about a quarter of an hour.
    QTest::newRow("complete programs in minutes") << "minutes" << 0;
    QTest::newRow("real nets") << "corpus" << 0;
    QTest::newRow("nets that once failed") << "regressions" << 0;
#if defined(__SANITIZE_ADDRESS__)
    const int batches = 2; // the sanitizers slow every compile: a sample there
#else
    const int batches = 12;
#endif
    for (int b = 0; b < batches; ++b)
        QTest::addRow("random nets %d-%d", 25 * b + 1, 25 * b + 25) << "random" << 25 * b + 1;
}

void TestPlcProof::nets()
{
    QFETCH(QString, set);
    QFETCH(int, first);
    std::vector<NetCase> nets;
    auto addFolder = [&](const QString &folder) {
        const QDir dir(folder);
        for (const QString &file : dir.entryList({"*.ndr"}, QDir::Files, QDir::Name))
            nets.push_back({file.toStdString(), readFile(dir.filePath(file)).toStdString()});
    };
    if (set == "golden") {
        addFolder(TRILETTE_SOURCE_DIR "/tests/golden");
        addFolder(TRILETTE_SOURCE_DIR "/tests/golden/pou");
    } else if (set == "minutes") {
        addFolder(TRILETTE_SOURCE_DIR "/tests/golden/pou");
        for (NetCase &net : nets)
            net.unit = TimeUnit::Minutes;
    } else if (set == "corpus") {
        addFolder(TRILETTE_CORPUS_DIR);
        if (nets.empty())
            QSKIP("pas de réseaux réels à côté du dépôt (../shared/corpus/ndr)");
    } else if (set == "regressions") {
        // Each net failed once with the seed that its name carries: echec_SEED_....ndr.
        addFolder(TRILETTE_SOURCE_DIR "/tests/data/plc");
        for (const NetCase &net : nets)
            check({net}, uint32_t(std::stoul(net.name.substr(6))), false);
        return;
    } else {
        for (int seed = first; seed < first + 25; ++seed)
            nets.push_back({"aleatoire_" + std::to_string(seed) + ".ndr", randomNet(seed)});
    }
    // Real nets and golden cases may have errors (free text for predicates): those are not
    // written, so there is nothing to run. Random nets must all be written, and a fair share
    // of them run as statement lists too.
    const size_t listsBefore = statementListsRun;
    check(nets, uint32_t(first + 7), set != "random");
    if (set == "random") {
        qInfo("%zu des %zu réseaux exécutés aussi en liste d'instructions",
              statementListsRun - listsBefore, nets.size());
        QVERIFY(statementListsRun - listsBefore >= nets.size() / 5);
    }
}

void TestPlcProof::check(const std::vector<NetCase> &nets, uint32_t seed, bool skipNetsWithErrors)
{
    size_t failing = SIZE_MAX, skipped = 0;
    std::string failure = prove(nets, seed, &failing, skipNetsWithErrors ? &skipped : nullptr);
    if (failure.empty())
        return;
    if (failing == SIZE_MAX) {
        // The batch as a whole failed: find the net that does alone.
        for (size_t i = 0; i < nets.size() && failing == SIZE_MAX; ++i) {
            size_t alone = 0;
            size_t none = 0;
            const std::string single
                = prove({nets[i]}, seed, &alone, skipNetsWithErrors ? &none : nullptr);
            if (!single.empty()) {
                failing = i;
                failure = single;
            }
        }
    }
    if (failing == SIZE_MAX)
        QFAIL(qPrintable(QString::fromStdString(failure)));
    const NetCase smallest = shrink(nets[failing], seed);
    const QString path = QDir::current().absoluteFilePath(QString::fromStdString(
        "echec_" + std::to_string(seed) + "_"
        + QFileInfo(QString::fromStdString(smallest.name)).fileName().toStdString()));
    QFile out(path);
    if (out.open(QIODevice::WriteOnly))
        out.write(smallest.text.data(), qint64(smallest.text.size()));
    QFAIL(qPrintable(QString::fromStdString(failure) + "\nréseau réduit : " + path));
}

QTEST_APPLESS_MAIN(TestPlcProof)
#include "tst_plcproof.moc"
