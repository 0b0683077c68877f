#include "codegen/stwriter.h"

#include "net/priorities.h"
#include "st/nameindex.h"
#include "util/chunkedvector.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace trilette {

namespace {

/// What the statements call things, chosen once per format: the st format writes the names as
/// the net has them and declares nothing; the complete formats write the identifiers, conditions
/// and timers of their symbols.
class Naming
{
public:
    virtual ~Naming() = default;
    /// The stem of a place's two marking variables.
    virtual std::string_view place(std::string_view name) const = 0;
    /// The variable of an output of BLOC G.
    virtual std::string_view output(std::string_view name) const = 0;
    /// A transition's condition, "TRUE" for none.
    virtual std::string_view condition(const Transition &t) const = 0;
    /// The timer of a transition that must wait, or null.
    virtual const std::string *timer(const Transition &) const { return nullptr; }
    virtual std::string preset(const Transition &) const { return {}; }
    virtual const char *unitName() const { return ""; }
    /// Whether the program declares the places named only by arcs, and keeps them like the
    /// others.
    virtual bool keepsUndeclaredPlaces() const { return false; }
    /// The variables of BLOC F's loop, or null where BLOC F is written block after block.
    virtual const BlockLoop *blockLoop() const = 0;
    /// The variable that holds a place's marking test in BLOC G, or empty.
    virtual std::string markedFlag(const Place &place) const = 0;
    /// The variable set in a branch that has nothing else to do, or null where an empty branch
    /// is left as it is.
    virtual const std::string *placeholder() const { return nullptr; }
    /// Whether the program declares Trilette's own variables; where it does not, a comment lists
    /// them for the project to declare.
    virtual bool declaresOwnVariables() const = 0;
};

/// The start of the names of Trilette's own variables in the st format, which declares none:
/// "Trilette_", or "Trilettek_" with the smallest k from 2 on that starts none of the names
/// that the program reads or writes (ST does not tell case), so that none can be one of them.
std::string stPrefix(const Net &net)
{
    std::unordered_set<size_t> taken;
    auto word = [&](std::string_view w) {
        static constexpr std::string_view stem = "trilette";
        if (w.size() <= stem.size())
            return;
        for (size_t i = 0; i < stem.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(w[i])) != stem[i])
                return;
        size_t end = stem.size(), k = 0;
        for (; end < w.size() && std::isdigit(static_cast<unsigned char>(w[end])); ++end)
            k = std::min<size_t>(k * 10 + size_t(w[end] - '0'), SIZE_MAX / 20);
        if (end < w.size() && w[end] == '_')
            taken.insert(end == stem.size() ? 1 : k);
    };
    // Every run of letters, digits and '_' in the names and the predicates.
    auto words = [&](std::string_view text) {
        size_t begin = 0;
        for (size_t i = 0; i <= text.size(); ++i) {
            const bool inWord = i < text.size()
                && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_');
            if (!inWord) {
                if (i > begin)
                    word(text.substr(begin, i - begin));
                begin = i + 1;
            }
        }
    };
    for (const Place *place = net.firstPlace(); place; place = place->next) {
        words(place->name);
        forEachOutputName(*place, words);
    }
    for (const Transition *t = net.firstTransition(); t; t = t->next) {
        words(t->predicate);
        for (const ArcRef *arc = t->inputs; arc; arc = arc->next)
            words(arc->placeName);
        for (const ArcRef *arc = t->outputs; arc; arc = arc->next)
            words(arc->placeName);
    }
    size_t k = 1;
    while (taken.count(k))
        k = k == 1 ? 2 : k + 1;
    return k == 1 ? std::string("Trilette_") : "Trilette" + std::to_string(k) + "_";
}

/// The st format's names: those of the net as they stand; Trilette's own variables start with
/// the prefix of stPrefix.
class StNames final : public Naming
{
public:
    /// `priorities` decide BLOC F's loop; null where no BLOC F is written.
    StNames(const Net &net, const Priorities *priorities)
        : net_(net)
    {
        if (!priorities || !firesInLoop(net, *priorities, false))
            return;
        const std::string &stem = prefix();
        loop_ = {stem + "bloc", stem + "tir", {}};
        loop_.flags.resize(net.transitionCount());
        for (const Transition *h : priorities->higherFirst())
            loop_.flags[h->index] = stem + "x" + std::to_string(h->index + 1);
    }

    std::string_view place(std::string_view name) const override { return name; }
    std::string_view output(std::string_view name) const override { return name; }
    std::string_view condition(const Transition &t) const override
    {
        // An empty condition is not Structured Text: a transition without a predicate always
        // may fire.
        return t.predicate.empty() ? std::string_view("TRUE") : std::string_view(t.predicate);
    }
    const BlockLoop *blockLoop() const override { return loop_.block.empty() ? nullptr : &loop_; }
    std::string markedFlag(const Place &place) const override
    {
        if (!markedFlagNeeded(place, place.name.size()))
            return {};
        return prefix() + "g" + std::to_string(place.index + 1);
    }
    bool declaresOwnVariables() const override { return false; }

private:
    /// stPrefix, worked out the first time a variable of Trilette's own needs it.
    const std::string &prefix() const
    {
        if (prefix_.empty())
            prefix_ = stPrefix(net_);
        return prefix_;
    }

    const Net &net_;
    mutable std::string prefix_;
    BlockLoop loop_;
};

/// A complete program's names: those of its symbols.
class ProgramNames final : public Naming
{
public:
    explicit ProgramNames(const ProgramSymbols &symbols)
        : symbols_(symbols)
    { }

    std::string_view place(std::string_view name) const override { return symbols_.place(name); }
    std::string_view output(std::string_view name) const override { return symbols_.output(name); }
    std::string_view condition(const Transition &t) const override { return symbols_.condition(t); }
    const std::string *timer(const Transition &t) const override { return symbols_.timer(t); }
    std::string preset(const Transition &t) const override { return symbols_.preset(t); }
    const char *unitName() const override { return symbols_.unitName(); }
    bool keepsUndeclaredPlaces() const override { return true; }
    const BlockLoop *blockLoop() const override { return symbols_.blockLoop(); }
    std::string markedFlag(const Place &place) const override { return symbols_.markedFlag(place); }
    const std::string *placeholder() const override { return &symbols_.placeholder(); }
    bool declaresOwnVariables() const override { return true; }

private:
    const ProgramSymbols &symbols_;
};

/// The statement of a branch that has nothing to do, where strict compilers refuse an empty one.
void writePlaceholder(const Naming &names, TextSink &out)
{
    if (const std::string *placeholder = names.placeholder()) {
        out.put('\t');
        out.put(*placeholder);
        out.put(" := TRUE;\n");
    }
}

/// Writes the program's statements from INIT through BLOC M, with the names of `names`.
class BodyWriter
{
    struct PlaceUse
    {
        uint32_t firstTaker, firstGiver;
    };

public:
    BodyWriter(const Net &net, const Priorities &priorities, const Naming &names, TextSink &out)
        : net_(net)
        , names_(names)
        , out_(out)
        , priorities_(priorities)
        , loop_(names.blockLoop())
    {
        indexPlaces();
    }

    void initialisation()
    {
        out_.put("IF(INIT) THEN\n");
        out_.put("(*-------Initialisation------------*)\n");
        for (const char *suffix : {"p := ", "s := "}) {
            for (const Place *place = net_.firstPlace(); place; place = place->next) {
                if (!firstOfName(*place))
                    continue;
                out_.put("\t ");
                out_.put(names_.place(place->name));
                out_.put(suffix);
                out_.putInt(place->marking);
                out_.put(";\n");
            }
            for (const UndeclaredPlace &place : undeclaredPlaces()) {
                out_.put("\t ");
                out_.put(names_.place(place.name));
                out_.put(suffix);
                out_.put("0;\n");
            }
        }
        // The clocks start again with the net: stopped, then started by the initial marking.
        bool timers = false;
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            if (names_.timer(*t)) {
                out_.put('\t');
                restart(*t);
                out_.put("\n\t");
                clockCall(*t);
                out_.put('\n');
                timers = true;
            }
        }
        if (!timers && net_.placeCount() == 0 && undeclaredPlaces().empty())
            placeholder();
        out_.put("ELSE\n\n");
    }

    /// The timers of the transitions that wait, called with the marking at the start of the
    /// cycle (so that each one reads the time), and again with the marking that the cycle leaves
    /// (so that a wait starts at the very cycle that enables its transition, as in the net).
    void clocks(bool atCycleEnd)
    {
        bool any = false;
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            if (!names_.timer(*t))
                continue;
            if (!any)
                out_.put(atCycleEnd ? "\n(*-------Horloges du nouveau marquage------------*)\n\n"
                                    : "(*-------Horloges------------*)\n");
            any = true;
            clockCall(*t);
            if (!atCycleEnd && t->interval.latest != TimeInterval::infinity) {
                out_.put(" (* au plus tard ");
                out_.putInt(t->interval.latest);
                out_.put(" ");
                out_.put(names_.unitName());
                out_.put(" : un automate à cycle ne peut pas forcer ce tir *)");
            }
            out_.put("\n");
        }
        if (any && !atCycleEnd)
            out_.put("\n");
    }

    /// A call of a transition's timer, its input the transition's arcs on the p variables.
    void clockCall(const Transition &t)
    {
        out_.put(*names_.timer(t));
        out_.put("(IN := ");
        if (!markingTerms(t, 'p'))
            out_.put("TRUE");
        out_.put(", PT := ");
        out_.put(names_.preset(t));
        out_.put(");");
    }

    void firingBlocks()
    {
        out_.put("(*-------BLOC F------------*)\n");
        if (!loop_) {
            for (const Transition *t = net_.firstTransition(); t; t = t->next)
                firingBlock(*t);
            return;
        }
        // The blocks in file order, one per turn of the loop; after each firing, the turn
        // that follows first stops the timers that the firing left disabled and works out again
        // which transitions a transition above can block.
        if (!names_.declaresOwnVariables()) {
            out_.put("(* Variables de Trilette, \xC3\xA0 d\xC3\xA9"
                     "clarer dans le projet : ");
            out_.put(loop_->block);
            out_.put(" : DINT; ");
            out_.put(loop_->fired);
            out_.put(" : BOOL;");
            for (const Transition *h : priorities_.higherFirst()) {
                out_.put(' ');
                out_.put(loop_->flags[h->index]);
                out_.put(" : BOOL;");
            }
            out_.put(" *)\n");
        }
        out_.put(loop_->block);
        out_.put(" := 0;\n");
        out_.put(loop_->fired);
        out_.put(" := TRUE;\nREPEAT\n\tIF ");
        out_.put(loop_->fired);
        out_.put(" THEN\n\t\t");
        out_.put(loop_->fired);
        out_.put(" := FALSE;\n");
        for (const Transition *u = net_.firstTransition(); u; u = u->next) {
            if (!names_.timer(*u) || !testsMarking(*u))
                continue;
            out_.put("\t\tIF NOT (");
            markingTerms(*u, 's');
            out_.put(") THEN ");
            restart(*u);
            out_.put(" END_IF;\n");
        }
        for (const Transition *h : priorities_.higherFirst()) {
            out_.put("\t\t");
            out_.put(loop_->flags[h->index]);
            out_.put(" := (");
            ableTerms(*h);
            out_.put(")");
            for (const Transition *higher : priorities_.direct(*h)) {
                out_.put(" OR ");
                out_.put(loop_->flags[higher->index]);
            }
            out_.put(";\n");
        }
        out_.put("\tEND_IF;\n\t");
        out_.put(loop_->block);
        out_.put(" := ");
        out_.put(loop_->block);
        out_.put(" + 1;\n\tCASE ");
        out_.put(loop_->block);
        out_.put(" OF\n");
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            out_.put('\t');
            out_.putInt(int64_t(t->index) + 1);
            out_.put(":\n");
            firingBlock(*t);
        }
        out_.put("\tEND_CASE;\nUNTIL ");
        out_.put(loop_->block);
        out_.put(" > ");
        out_.putInt(int64_t(net_.transitionCount()));
        out_.put("\nEND_REPEAT;\n\n");
    }

    void markingCopy()
    {
        out_.put("\n(*-------BLOC M------------*)\n\n");
        auto copy = [&](std::string_view name) {
            const std::string_view variable = names_.place(name);
            out_.put("\t ");
            out_.put(variable);
            out_.put("p := ");
            out_.put(variable);
            out_.put("s;\n");
        };
        for (const Place *place = net_.firstPlace(); place; place = place->next) {
            if (firstOfName(*place))
                copy(place->name);
        }
        for (const UndeclaredPlace &place : undeclaredPlaces())
            copy(place.name);
    }

private:
    /// The places named only by arcs that the program keeps like the others (none in st).
    const std::vector<UndeclaredPlace> &undeclaredPlaces() const
    {
        static const std::vector<UndeclaredPlace> none;
        return names_.keepsUndeclaredPlaces() ? net_.undeclaredPlaces() : none;
    }

    /// Whether a place is the first of its name. Two places of one name are one pair of
    /// variables: every format initialises them once, with the first place's marking, as the
    /// arcs that name them go to the first.
    static bool firstOfName(const Place &place) { return place.firstOfName; }

    /// The first transition (in file order) that takes tokens from each place, and the first
    /// that puts tokens into it: a transition's test of a place on the s variable is written only
    /// where an earlier firing in the same cycle can have changed that place its way.
    void indexPlaces()
    {
        // Declared places by their position; names that no place line declares after them.
        placeUses_.resize(net_.placeCount() + net_.undeclaredPlaces().size(),
                          {UINT32_MAX, UINT32_MAX});
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            for (const ArcRef *arc = t->inputs; arc; arc = arc->next) {
                PlaceUse &place = use(*arc);
                if (arc->kind == ArcKind::Normal)
                    place.firstTaker = std::min(place.firstTaker, t->index);
            }
            for (const ArcRef *arc = t->outputs; arc; arc = arc->next) {
                PlaceUse &place = use(*arc);
                place.firstGiver = std::min(place.firstGiver, t->index);
            }
        }
    }

    PlaceUse &use(const ArcRef &arc)
    {
        assert(arc.place < placeUses_.size()); // the reader gives every arc its place
        return placeUses_[arc.place];
    }

    bool needsCurrentMarking(const ArcRef &arc, const Transition &t)
    {
        const PlaceUse &place = use(arc);
        return (arc.kind == ArcKind::Inhibitor ? place.firstGiver : place.firstTaker) < t.index;
    }

    /// What a transition takes from a place when it fires: the weights of all its normal arcs
    /// from that place, which add up when the arc is written more than once.
    int32_t taken(const Transition &t, std::string_view placeName)
    {
        if (t.inputCount > 8) {
            auto &totals = takenByPlace_[&t];
            if (totals.empty()) {
                for (const ArcRef *arc = t.inputs; arc; arc = arc->next)
                    if (arc->kind == ArcKind::Normal)
                        totals[arc->placeName] += arc->weight;
            }
            return int32_t(std::clamp<int64_t>(totals[placeName], INT32_MIN, INT32_MAX));
        }
        int64_t total = 0;
        for (const ArcRef *arc = t.inputs; arc; arc = arc->next)
            if (arc->kind == ArcKind::Normal && arc->placeName == placeName)
                total += arc->weight;
        return int32_t(std::clamp<int64_t>(total, INT32_MIN, INT32_MAX));
    }

    /// One arc's test on the p or the s variable: "(Xp>=w)" or "(Xp<w)"; false for an arc that
    /// tests nothing.
    bool arcTest(const Transition &t, const ArcRef &arc, char variable)
    {
        const char *comparison;
        int32_t weight = arc.weight;
        switch (arc.kind) {
        case ArcKind::Normal:
            weight = std::max(taken(t, arc.placeName), 1);
            comparison = ">=";
            break;
        case ArcKind::Test:
            comparison = ">=";
            break;
        case ArcKind::Inhibitor:
            comparison = "<";
            break;
        default:
            return false;
        }
        out_.put('(');
        out_.put(names_.place(arc.placeName));
        out_.put(variable);
        out_.put(comparison);
        out_.putInt(weight);
        out_.put(')');
        return true;
    }

    static bool testsMarking(const ArcRef &arc)
    {
        return arc.kind != ArcKind::Stopwatch && arc.kind != ArcKind::StopwatchInhibitor;
    }

    /// Whether `t` has an arc that tests a marking, which a firing can make fail.
    static bool testsMarking(const Transition &t)
    {
        for (const ArcRef *arc = t.inputs; arc; arc = arc->next)
            if (testsMarking(*arc))
                return true;
        return false;
    }

    /// What a transition needs to fire at this point of the cycle, its tests on the p variables
    /// aside: its arcs on the s variables, its timer run out, its condition.
    void ableTerms(const Transition &t)
    {
        if (markingTerms(t, 's'))
            out_.put(" AND ");
        if (const std::string *clock = names_.timer(t)) {
            out_.put(*clock);
            out_.put(".Q AND ");
        }
        out_.put('(');
        out_.put(names_.condition(t));
        out_.put(')');
    }

    /// The tests of every arc of `t` on one marking, joined by AND; false when it has none.
    bool markingTerms(const Transition &t, char variable)
    {
        bool any = false;
        for (const ArcRef *arc = t.inputs; arc; arc = arc->next) {
            if (!testsMarking(*arc))
                continue;
            if (any)
                out_.put(" AND ");
            any = arcTest(t, *arc, variable);
        }
        return any;
    }

    void firingBlock(const Transition &t)
    {
        out_.put("IF (");
        for (const ArcRef *arc = t.inputs; arc; arc = arc->next) {
            if (!testsMarking(*arc))
                continue;
            out_.put(' ');
            arcTest(t, *arc, 'p');
            out_.put(" AND ");
            if (needsCurrentMarking(*arc, t)) {
                arcTest(t, *arc, 's');
                out_.put(" AND ");
            }
        }
        const std::string *timer = names_.timer(t);
        if (timer) {
            out_.put(' ');
            out_.put(*timer);
            out_.put(".Q AND ");
        }
        // No transition of higher priority may be able to fire at this point of the cycle: the
        // flags of those right above say it for them and all those above them.
        for (const Transition *higher : priorities_.direct(t)) {
            out_.put(" NOT ");
            out_.put(loop_->flags[higher->index]);
            out_.put(" AND ");
        }
        out_.put('(');
        out_.put(names_.condition(t));
        out_.put(") ) THEN\n");

        bool statement = false;
        for (const ArcRef *arc = t.inputs; arc; arc = arc->next) {
            if (arc->kind == ArcKind::Normal) {
                change(arc->placeName, " - ", arc->weight);
                statement = true;
            }
        }
        for (const ArcRef *arc = t.outputs; arc; arc = arc->next) {
            change(arc->placeName, " + ", arc->weight);
            statement = true;
        }
        if (timer) {
            out_.put('\t');
            restart(t);
            out_.put('\n');
            statement = true;
        }
        if (loop_) {
            out_.put('\t');
            out_.put(loop_->fired);
            out_.put(" := TRUE;\n");
            statement = true;
        }
        if (!statement)
            placeholder();
        out_.put("END_IF;\n\n");
    }

    void placeholder() { writePlaceholder(names_, out_); }

    void change(std::string_view placeName, const char *sign, int32_t weight)
    {
        const std::string_view variable = names_.place(placeName);
        out_.put('\t');
        out_.put(variable);
        out_.put("s := ");
        out_.put(variable);
        out_.put('s');
        out_.put(sign);
        out_.putInt(weight);
        out_.put(";\n");
    }

    void restart(const Transition &t)
    {
        out_.put(*names_.timer(t));
        out_.put("(IN := FALSE, PT := ");
        out_.put(names_.preset(t));
        out_.put(");");
    }

    const Net &net_;
    const Naming &names_;
    TextSink &out_;
    const Priorities &priorities_;
    /// The loop's variables, null where BLOC F is written block after block.
    const BlockLoop *loop_;
    /// For each place that arcs name, the first transition that takes tokens from it and the
    /// first that puts tokens into it: the declared places by position, then the names that no
    /// place line declares.
    std::vector<PlaceUse> placeUses_;
    std::unordered_map<const Transition *, std::unordered_map<std::string_view, int64_t>>
        takenByPlace_;
};

/// BLOC G: each output named in the places' first actions, set from the markings of the places
/// that name it; then the END_IF that closes the program.
void writeOutputBlock(const Net &net, const Naming &names, TextSink &out)
{
    out.put("\n(*-------BLOC G------------*)\n\n");

    // Each output with the places that name it, in the order of its first naming; a place that
    // names an output twice counts twice. The entries of one output are chained in text order.
    constexpr uint32_t none = UINT32_MAX;
    struct Entry
    {
        uint32_t place;
        uint32_t next;
    };
    struct Output
    {
        Text name;
        uint32_t first, last;
    };
    ChunkedVector<Entry> entries;
    ChunkedVector<Output> outputs;
    NameIndex<> outputByName;
    for (const Place *place = net.firstPlace(); place; place = place->next) {
        forEachOutputName(*place, [&](std::string_view name) {
            const uint32_t entry = uint32_t(entries.size());
            const auto [index, added] = outputByName.insert(
                name, uint32_t(outputs.size()), [&](uint32_t i) { return outputs[i].name; });
            entries.push_back({place->index, none});
            if (added)
                outputs.push_back({name, entry, entry});
            else
                outputs[index].last = entries[outputs[index].last].next = entry;
        });
    }

    // A place that names many outputs under a long name has its test written once, into a
    // variable that the outputs read (see markedFlagNeeded).
    std::vector<std::string> flags;
    for (const Place *place = net.firstPlace(); place; place = place->next) {
        std::string flag = names.markedFlag(*place);
        if (flag.empty())
            continue;
        if (flags.empty()) {
            flags.resize(net.placeCount());
            if (!names.declaresOwnVariables()) {
                out.put("(* Variables de Trilette, \xC3\xA0 d\xC3\xA9"
                        "clarer dans le projet :");
                for (const Place *p = place; p; p = p->next) {
                    const std::string other = names.markedFlag(*p);
                    if (!other.empty()) {
                        out.put(' ');
                        out.put(other);
                        out.put(" : BOOL;");
                    }
                }
                out.put(" *)\n");
            }
        }
        out.put(flag);
        out.put(" := (");
        out.put(names.place(place->name));
        out.put("p >=1);\n");
        flags[place->index] = std::move(flag);
    }
    auto test = [&](uint32_t place) {
        if (!flags.empty() && !flags[place].empty()) {
            out.put(flags[place]);
            return;
        }
        out.put('(');
        out.put(names.place(net.place(place).name));
        out.put("p >=1)");
    };
    outputs.forEach([&](const Output &output) {
        uint32_t entry = output.first;
        out.put(names.output(output.name));
        out.put(" := ");
        test(entries[entry].place);
        while ((entry = entries[entry].next) != none) {
            out.put(" OR ");
            test(entries[entry].place);
        }
        out.put(";\n");
    });
    // (A net without transitions has no arcs, so no place that only arcs name.)
    if (!net.firstTransition() && net.placeCount() == 0)
        writePlaceholder(names, out);
    out.put("\nEND_IF;\n\n");
}

} // namespace

bool markedFlagNeeded(const Place &place, size_t stemSize)
{
    // What the label gives (each naming, its separator) against what the tests would write.
    size_t namings = 0, given = place.name.size();
    forEachOutputName(place, [&](std::string_view name) {
        ++namings;
        given += name.size() + 1;
    });
    return namings >= 2 && namings * (stemSize + 8) > 8 * given;
}

bool firesInLoop(const Net &net, const Priorities &priorities, bool timers)
{
    if (!priorities.empty())
        return true;
    for (const Transition *t = net.firstTransition(); timers && t; t = t->next) {
        if (t->interval.earliest <= 0)
            continue;
        for (const ArcRef *arc = t->inputs; arc; arc = arc->next)
            if (arc->kind == ArcKind::Normal || arc->kind == ArcKind::Test
                || arc->kind == ArcKind::Inhibitor)
                return true;
    }
    return false;
}

void writeStCode(const Net &net, TextSink &out, TextSink *trace, const Priorities *priorities)
{
    out.put("(*-------Codage de RDP en ST d\xC3\xA9"
            "compos\xC3\xA9 en blocs FMG------------*)\n\n\n");
    if (trace) {
        trace->put("Ici1\n");
        trace->flush();
    }
    std::optional<Priorities> own;
    if (!priorities)
        priorities = &own.emplace(net, "", nullptr);
    const StNames names(net, priorities);
    BodyWriter body(net, *priorities, names, out);
    body.initialisation();
    body.firingBlocks();
    body.markingCopy();
}

void appendOutputBlock(const Net &net, TextSink &out)
{
    writeOutputBlock(net, StNames(net, nullptr), out);
}

void writeProgramBody(const Net &net, const ProgramSymbols &symbols, TextSink &out)
{
    const ProgramNames names(symbols);
    BodyWriter body(net, symbols.priorities(), names, out);
    body.initialisation();
    body.clocks(false);
    body.firingBlocks();
    body.markingCopy();
    body.clocks(true);
    writeOutputBlock(net, names, out);
}

} // namespace trilette
