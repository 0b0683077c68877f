#include "bench/netgen.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>
#include <vector>

namespace trilette::bench {

namespace {

/// splitmix64: small, fast and the same on every platform, unlike the standard distributions
/// whose results differ between library versions.
class Random
{
public:
    explicit Random(uint64_t seed)
        : state_(seed)
    { }
    uint64_t next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    /// Uniform in [0, n).
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(((next() >> 32) * n) >> 32); }
    /// Uniform in [low, high].
    int between(int low, int high) { return low + static_cast<int>(below(high - low + 1)); }
    /// Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    bool chance(double p) { return unit() < p; }
    template<size_t N> const char *pick(const char *const (&words)[N]) { return words[below(N)]; }

private:
    uint64_t state_;
};

/// How many lines and arcs one module gets; decided before any text so that the file has
/// exactly the lines asked for.
struct ModulePlan
{
    /// Places, and as many transitions, in one cycle.
    int size = 0;
    /// Arcs between near nodes of the module, beyond the cycle.
    int extraArcs = 0;
    /// Arcs between a transition of the module and a place of another module.
    int remoteArcs = 0;
    /// Arcs from place to place, which attach to no transition.
    int strayArcs = 0;
    /// Annotation lines, unknown to the reader.
    int notes = 0;
    long lines() const { return 4L * size + extraArcs + remoteArcs + strayArcs + notes; }
};

const char *const stateWords[]
    = {"Attente", "Marche",  "Arret",    "Ouverture", "Fermeture", "Remplissage",
       "Vidange", "Chauffe", "Pesee",    "Transfert", "Defaut",    "Repos",
       "Cycle",   "Montee",  "Descente", "Serrage",   "Poste",     "Etape"};
const char *const transitionWords[] = {"t", "t", "t", "debut_", "fin_", "ok_", "tr"};
const char *const sharedOutputs[] = {"Gyrophare", "Alarme", "Klaxon", "Buzzer_defaut"};
const char *const noteWords[] = {"convoyeur", "poste de pesee", "remplissage cuve", "portail",
                                 "presse",    "four",           "tri des colis",    "ascenseur"};

ModulePlan planModule(int size, double remoteOdds, Random &random)
{
    ModulePlan plan;
    plan.size = size;
    for (int i = 0; i < size; ++i)
        plan.extraArcs += random.chance(0.3);
    const int localArcs = 2 * size + plan.extraArcs;
    for (int i = 0; i < localArcs; ++i)
        plan.remoteArcs += random.chance(remoteOdds);
    plan.strayArcs = random.chance(0.05);
    plan.notes = random.chance(0.1);
    return plan;
}

std::vector<ModulePlan> planModules(const NetShape &shape, Random &random, long &padding)
{
    const double share = std::clamp(shape.longRangeShare, 0.0, 0.5);
    const double remoteOdds = share / (1.0 - share);
    const long budget = std::max(shape.lines, 1L) - 1;
    std::vector<ModulePlan> modules;
    long used = 0;
    for (;;) {
        // Near the end, smaller modules fill the budget so that few padding lines remain.
        ModulePlan plan = planModule(random.between(3, 12), remoteOdds, random);
        while (used + plan.lines() > budget && plan.size > 3)
            plan = planModule(plan.size - 1, remoteOdds, random);
        if (used + plan.lines() > budget)
            break;
        used += plan.lines();
        modules.push_back(plan);
    }
    padding = budget - used;
    return modules;
}

class NetWriter
{
public:
    NetWriter(const NetShape &shape, std::string &out)
        : out_(out)
        , lineEnds_(shape.seed ^ 0x5DEECE66Dull)
        , crlfShare_(shape.crlfShare)
    { }

    NetWriter &operator<<(std::string_view text)
    {
        out_.append(text);
        return *this;
    }
    NetWriter &operator<<(char c)
    {
        out_.push_back(c);
        return *this;
    }
    NetWriter &operator<<(long value)
    {
        char digits[24];
        auto result = std::to_chars(digits, digits + sizeof digits, value);
        out_.append(digits, result.ptr - digits);
        return *this;
    }
    NetWriter &operator<<(int value) { return *this << static_cast<long>(value); }
    /// A coordinate as the editor writes it: "320.0".
    void coordinate(long value) { *this << ' ' << value << ".0"; }
    /// A real with a fixed number of decimals, as in the long arc form.
    void real(double value, int decimals)
    {
        char text[48];
        int length = std::snprintf(text, sizeof text, " %.*f", decimals, value);
        out_.append(text, static_cast<size_t>(length));
    }
    void endLine()
    {
        // The line ends come from their own generator, so the net's content does not depend
        // on the share of CR LF.
        if (crlfShare_ > 0 && lineEnds_.chance(crlfShare_))
            out_.append("\r\n");
        else
            out_.push_back('\n');
    }

private:
    std::string &out_;
    Random lineEnds_;
    double crlfShare_;
};

/// The names as written in the file, for every module, before any line: remote arcs name
/// places of modules not written yet.
struct Names
{
    std::vector<std::string> places;
    std::vector<std::string> transitions;
    std::vector<long> moduleStart;
};

Names makeNames(const std::vector<ModulePlan> &modules, Random &random)
{
    Names names;
    long total = 0;
    for (const ModulePlan &plan : modules) {
        names.moduleStart.push_back(total);
        total += plan.size;
    }
    names.places.reserve(total);
    names.transitions.reserve(total);
    for (size_t m = 0; m < modules.size(); ++m) {
        const std::string module = std::to_string(m);
        for (int i = 0; i < modules[m].size; ++i) {
            const std::string index = std::to_string(i);
            if (!names.places.empty() && random.chance(0.005))
                names.places.push_back(names.places[random.below(names.places.size())]);
            else if (random.chance(0.01))
                names.places.push_back("{" + std::string(random.pick(stateWords)) + " " + module
                                       + " " + index + "}");
            else
                names.places.push_back(random.pick(stateWords) + module + "_" + index);

            if (!names.transitions.empty() && random.chance(0.002))
                names.transitions.push_back(
                    names.transitions[random.below(names.transitions.size())]);
            else if (random.chance(0.005))
                names.transitions.push_back("{passage " + module + " " + index + "}");
            else
                names.transitions.push_back(random.pick(transitionWords) + module + "_" + index);
        }
    }
    return names;
}

void writeMarking(NetWriter &out, Random &random, bool first)
{
    const double r = random.unit();
    if (r < 0.005)
        out << random.between(1, 9) << 'K';
    else if (r < 0.035)
        out << random.between(1, 5);
    else
        out << (first ? 1 : 0);
}

void writeWeight(NetWriter &out, Random &random)
{
    const double r = random.unit();
    if (r < 0.88)
        out << '1';
    else if (r < 0.98)
        out << random.between(2, 5);
    else if (r < 0.99)
        out << random.between(1, 9) << 'K';
    else
        out << "?-1";
}

void writeOutputs(NetWriter &out, Random &random, long module, int index)
{
    const double r = random.unit();
    const int count = r < 0.6 ? 1 : r < 0.9 ? 2 : 3;
    const uint32_t first = random.below(5);
    for (int n = 0; n < count; ++n) {
        if (n > 0)
            out << ';';
        switch ((first + n) % 5) {
        case 0:
            out << "Moteur" << module;
            break;
        case 1:
            out << "Voyant" << module << '_' << index;
            break;
        case 2:
            out << "Verin" << module << (random.chance(0.5) ? "_sortie" : "_rentre");
            break;
        case 3:
            out << "Vanne" << module << '_' << random.between(1, 4);
            break;
        default:
            out << "Tapis" << module;
            break;
        }
    }
    if (random.chance(0.05))
        out << ';' << random.pick(sharedOutputs);
}

void writePlace(NetWriter &out, Random &random, const std::string &name, long module, int index,
                long x, long y)
{
    out << 'p';
    out.coordinate(x);
    out.coordinate(y);
    out << ' ' << name << ' ';
    writeMarking(out, random, index == 0);
    out << " n";
    if (random.chance(0.6)) {
        out << " {[";
        const double r = random.unit();
        if (r < 0.05)
            out << "Tempo" << module << '_' << index << ", ";
        writeOutputs(out, random, module, index);
        if (r >= 0.05 && r < 0.1)
            out << ", X" << index;
        out << "]} ne";
    }
    out.endLine();
}

/// Condition number `kind` (taken modulo 7) of a transition's predicate.
void writeCondition(NetWriter &out, long module, int index, uint32_t kind)
{
    switch (kind % 7) {
    case 0:
        out << "bp_marche";
        break;
    case 1:
        out << "capteur" << module << '_' << index;
        break;
    case 2:
        out << "fdc_haut" << module;
        break;
    case 3:
        out << "fdc_bas" << module;
        break;
    case 4:
        out << "tempo" << module << '_' << index << ".Q";
        break;
    case 5:
        out << "NOT arret_urgence";
        break;
    default:
        out << "niveau_haut" << module;
        break;
    }
}

void writeTransition(NetWriter &out, Random &random, const std::string &name, long module,
                     int index, long x, long y)
{
    out << 't';
    out.coordinate(x);
    out.coordinate(y);
    out << ' ' << name << " c 0 w n";
    if (random.chance(0.7)) {
        out << " {[";
        const int terms = random.between(1, 3);
        const char *join = random.chance(0.85) ? " AND " : " OR ";
        const uint32_t first = random.below(7);
        for (int n = 0; n < terms; ++n) {
            if (n > 0)
                out << join;
            writeCondition(out, module, index, first + n);
        }
        out << ';';
        const double r = random.unit();
        if (r < 0.2)
            out << "RAZ_compteur" << module;
        else if (r < 0.4)
            out << "tempo" << module << '_' << index << "_IN";
        out << "]} e";
    } else if (random.chance(0.5)) {
        out << " {} ne";
    }
    out.endLine();
}

void writeArc(NetWriter &out, Random &random, const std::string &source, const std::string &target)
{
    out << "e " << source;
    if (random.chance(0.15)) {
        out.real(random.unit() * 6.283185307, 10);
        out.real(20.0 + random.unit() * 600.0, 7);
        out << ' ' << target;
        out.real(random.unit() * 6.283185307, 10);
        out.real(20.0 + random.unit() * 600.0, 7);
        out << ' ';
    } else {
        out << ' ' << target << ' ';
    }
    writeWeight(out, random);
    out << " n";
    out.endLine();
}

void writeNote(NetWriter &out, Random &random, long number, long x, long y)
{
    out << 'a';
    out.coordinate(x);
    out.coordinate(y);
    out << " n" << number << " 1 {Note " << number << " : " << random.pick(noteWords) << '}';
    out.endLine();
}

} // namespace

std::string generateNet(const NetShape &shape)
{
    Random random(shape.seed);
    long padding = 0;
    const std::vector<ModulePlan> modules = planModules(shape, random, padding);
    const Names names = makeNames(modules, random);

    std::string text;
    text.reserve(static_cast<size_t>(std::max(shape.lines, 1L)) * 56);
    NetWriter out(shape, text);
    long notes = 0;
    const long moduleCount = static_cast<long>(modules.size());
    // The random ends come from their own generator, so that the rest of the net stays the
    // same whatever their share. The reader takes an arc only to a transition declared above
    // it: the transition is drawn among those, the place among all.
    Random farEnds(shape.seed ^ 0x2545F4914F6CDD1Dull);
    long declaredTransitions = 0;
    const auto arc = [&](const std::string &place, const std::string &transition, bool fromPlace) {
        const std::string *p = &place;
        const std::string *t = &transition;
        if (shape.randomArcShare > 0 && farEnds.chance(shape.randomArcShare)) {
            p = &names.places[farEnds.below(static_cast<uint32_t>(names.places.size()))];
            t = &names.transitions[farEnds.below(static_cast<uint32_t>(declaredTransitions))];
        }
        if (fromPlace)
            writeArc(out, random, *p, *t);
        else
            writeArc(out, random, *t, *p);
    };
    for (long m = 0; m < moduleCount; ++m) {
        const ModulePlan &plan = modules[m];
        const long first = names.moduleStart[m];
        const long left = (m % 40) * 1500 + 100;
        const long top = (m / 40) * 500 + 100;
        const auto place = [&](int i) -> const std::string & { return names.places[first + i]; };
        const auto transition
            = [&](int i) -> const std::string & { return names.transitions[first + i]; };

        for (int i = 0; i < plan.size; ++i)
            writePlace(out, random, place(i), m, i, left + 120 * i, top);
        for (int n = 0; n < plan.notes; ++n)
            writeNote(out, random, notes++, left, top - 50);
        for (int i = 0; i < plan.size; ++i)
            writeTransition(out, random, transition(i), m, i, left + 120 * i + 60, top + 150);
        declaredTransitions = first + plan.size;

        for (int i = 0; i < plan.size; ++i) {
            arc(place(i), transition(i), true);
            arc(place((i + 1) % plan.size), transition(i), false);
        }
        // Near places, never the ones the cycle already joins to the transition.
        static const int inputOffsets[] = {-2, -1, 1, 2};
        static const int outputOffsets[] = {-1, 0, 2, 3};
        for (int n = 0; n < plan.extraArcs; ++n) {
            const int i = random.below(plan.size);
            if (random.chance(0.5)) {
                const int j = (i + inputOffsets[random.below(4)] + plan.size) % plan.size;
                arc(place(j), transition(i), true);
            } else {
                const int j = (i + outputOffsets[random.below(4)] + plan.size) % plan.size;
                arc(place(j), transition(i), false);
            }
        }
        for (int n = 0; n < plan.remoteArcs; ++n) {
            const int i = random.below(plan.size);
            long other = m;
            if (moduleCount > 1) {
                other = random.below(moduleCount - 1);
                if (other >= m)
                    ++other;
            }
            const std::string &far
                = names.places[names.moduleStart[other] + random.below(modules[other].size)];
            arc(far, transition(i), random.chance(0.5));
        }
        for (int n = 0; n < plan.strayArcs; ++n)
            writeArc(out, random, place(random.below(plan.size)), place(random.below(plan.size)));
    }
    for (long n = 0; n < padding; ++n)
        writeNote(out, random, notes++, 100, 50);
    out << "h reseau_genere";
    out.endLine();
    return text;
}

} // namespace trilette::bench
