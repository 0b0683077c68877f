#include "codegen/symbols.h"

#include "codegen/stwriter.h"
#include "net/priorities.h"
#include "net/stexpr.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

namespace trilette {

namespace {

std::string upper(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

const char *timeUnitSuffix(TimeUnit unit)
{
    switch (unit) {
    case TimeUnit::Milliseconds:
        return "ms";
    case TimeUnit::Minutes:
        return "m";
    case TimeUnit::Seconds:
        break;
    }
    return "s";
}

/// The identifiers given so far, without case, with what each one stands for.
class Namer
{
public:
    explicit Namer(std::string_view fileName, Diagnostics &diagnostics)
        : file_(fileName)
        , diagnostics_(diagnostics)
    { }

    /// Reserves an identifier that the program itself uses.
    void reserve(std::string_view identifier, std::string what)
    {
        taken_.emplace(upper(identifier), std::move(what));
    }

    /// A free identifier for `original`, made valid (see makeIdentifier) and then, when it (with
    /// each of `suffixes` appended) is reserved or already given, followed by _2, _3...; a note
    /// says why the name changed, at `line` and `column`.
    std::string give(std::string_view original, std::string_view prefix,
                     std::initializer_list<std::string_view> suffixes, const std::string &what,
                     int line, int column)
    {
        const std::string base = makeIdentifier(original, prefix);
        std::string reason;
        if (base != original)
            reason = quoted(original) + " n'est pas un identificateur ST valide";
        std::string candidate = base;
        for (int k = 2;; ++k) {
            const std::string *clash = nullptr;
            std::string reserved;
            for (std::string_view suffix : suffixes) {
                const std::string spelling = candidate + std::string(suffix);
                const std::string key = upper(spelling);
                if (isReservedWord(key)) {
                    if (reserved.empty())
                        reserved = spelling;
                } else if (auto it = taken_.find(key); it != taken_.end()) {
                    clash = &it->second;
                }
            }
            if (reserved.empty() && !clash)
                break;
            if (reason.empty())
                reason = !reserved.empty() ? quoted(reserved) + " est un mot réservé du ST"
                                           : quoted(original)
                        + " se confond en ST, où la casse ne compte pas, avec " + *clash;
            candidate = base + "_" + std::to_string(k);
        }
        for (std::string_view suffix : suffixes)
            taken_.emplace(upper(candidate + std::string(suffix)), what);
        if (!reason.empty()) {
            std::string written;
            for (std::string_view suffix : suffixes)
                written
                    += (written.empty() ? "" : " et ") + quoted(candidate + std::string(suffix));
            diagnostics_.add(Severity::Note, file_, line, column,
                             reason + " : " + what + " s'écrit " + written);
        }
        return candidate;
    }

    void error(int line, int column, std::string message)
    {
        diagnostics_.add(Severity::Error, file_, line, column, std::move(message));
    }

private:
    std::string file_;
    Diagnostics &diagnostics_;
    std::unordered_map<std::string, std::string> taken_;
};

/// A comment beside a declaration: what the variable stands for, with the name as the net has
/// it (the writers make it safe inside a comment).
std::string describe(std::string_view role, std::string_view name)
{
    std::string text = std::string(role) + " {";
    for (char c : name)
        text += c == '@' ? ' ' : c;
    return text + "}";
}

} // namespace

const char *typeName(VariableType type)
{
    switch (type) {
    case VariableType::Bool:
        return "BOOL";
    case VariableType::Dint:
        return "DINT";
    case VariableType::Timer:
        break;
    }
    return "TON";
}

std::string makeIdentifier(std::string_view name, std::string_view prefix)
{
    std::string id;
    bool gap = false;
    for (char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80) {
            if (gap && !id.empty())
                id += '_';
            id += c;
            gap = false;
        } else {
            gap = true;
        }
    }
    if (id.empty() || std::isdigit(static_cast<unsigned char>(id[0])))
        id = std::string(prefix) + (id.empty() ? "" : "_") + id;
    return id;
}

ProgramSymbols::ProgramSymbols(const Net &net, std::string_view baseName, TimeUnit unit,
                               std::string_view fileName, Diagnostics &diagnostics,
                               const StopCheck &stop)
    : unit_(unit)
{
    // Asked once every stopInterval names, places or transitions, whichever loop they are met in:
    // a net of millions of names stops within a few milliseconds.
    constexpr size_t stopInterval = 4096;
    size_t met = 0;
    const auto poll = [&] {
        if (stop && ++met % stopInterval == 0)
            stop();
    };
    Namer namer(fileName, diagnostics);
    namer.reserve("INIT", "l'entrée INIT");
    for (const char *name : {"Config", "Ressource", "Tache", "Instance"})
        namer.reserve(name, std::string("la configuration ") + quoted(name));
    namer.reserve("Sans_effet", "la variable « Sans_effet »");
    inputs_.push_back({"INIT", "INIT", VariableType::Bool, 0, false, "réinitialise le réseau"});

    // Places: those declared, then those that only arcs name.
    std::unordered_map<std::string_view, size_t> placeIndex;
    auto addPlace = [&](std::string_view name, int32_t marking, int line, bool declared) {
        if (placeIndex.count(name))
            return;
        placeIndex.emplace(name, places_.size());
        const std::string id
            = namer.give(name, "P", {"p", "s"}, "la place " + quoted(name), line, 0);
        std::string comment = id == name ? std::string() : describe("place", name);
        if (!declared)
            comment = describe("place", name) + " nommée par un arc seulement";
        places_.push_back({std::string(name), id});
        locals_.push_back(
            {id + "p", std::string(name), VariableType::Dint, marking, true, comment});
        locals_.push_back(
            {id + "s", std::string(name), VariableType::Dint, marking, true, comment});
    };
    for (const Place *p = net.firstPlace(); p; p = p->next) {
        poll();
        addPlace(p->name, p->marking, p->line, true);
    }
    for (const Transition *t = net.firstTransition(); t; t = t->next) {
        poll();
        for (const ArcRef *list : {t->inputs, t->outputs}) {
            for (const ArcRef *arc = list; arc; arc = arc->next) {
                if (placeIndex.count(arc->placeName))
                    continue;
                undeclaredPlaces_.emplace_back(arc->placeName);
                addPlace(arc->placeName, 0, arc->line, false);
            }
        }
    }
    std::sort(places_.begin(), places_.end());

    // Outputs, in the order of BLOC G.
    // Each name once (a set, not a search in a sorted list that each name would shift), sorted
    // at the end for output().
    std::unordered_map<std::string, std::string> byUpper;
    std::unordered_set<std::string_view> seenOutputs;
    for (const Place *p = net.firstPlace(); p; p = p->next) {
        poll();
        forEachOutputName(*p, [&](std::string_view name) {
            if (!seenOutputs.insert(name).second)
                return;
            const std::string id
                = namer.give(name, "S", {""}, "la sortie " + quoted(name), p->line, 0);
            outputNames_.emplace_back(std::string(name), id);
            outputs_.push_back({id, std::string(name), VariableType::Bool, 0, false,
                                id == name ? std::string() : describe("sortie", name)});
            byUpper.emplace(upper(name), id);
        });
    }
    std::sort(outputNames_.begin(), outputNames_.end());

    // BLOC G's variables for the places that name many outputs under a long name.
    for (const Place *p = net.firstPlace(); p; p = p->next) {
        poll();
        if (!markedFlagNeeded(*p, place(p->name).size()))
            continue;
        markedFlags_.resize(net.placeCount());
        markedFlags_[p->index]
            = namer.give("Place_marquee_" + std::to_string(p->index + 1), "", {""},
                         "le test de la place " + quoted(p->name), p->line, 0);
        locals_.push_back({markedFlags_[p->index], std::string(p->name), VariableType::Bool, 0,
                           false, describe("place", p->name) + " marquée"});
    }

    // Predicates: a name is the output, the marking variable or INIT that ST would read under
    // it; otherwise an input, BOOL or DINT from its use.
    std::unordered_map<std::string, VariableType> markingVariables;
    for (const auto &[name, id] : places_) {
        poll();
        for (const char *suffix : {"p", "s"}) {
            markingVariables.emplace(upper(name + suffix), VariableType::Dint);
            byUpper.emplace(upper(name + suffix), id + suffix);
        }
    }
    std::unordered_map<std::string, size_t> inputIndex;
    conditions_.resize(net.transitionCount());
    timers_.resize(net.transitionCount());
    earliest_.resize(net.transitionCount());
    for (const Transition *t = net.firstTransition(); t; t = t->next) {
        poll();
        std::string &condition = conditions_[t->index];
        condition = "TRUE";
        if (t->predicate.empty())
            continue;
        const ParseResult parsed = parseExpression(t->predicate);
        if (!parsed.ok) {
            condition = "FALSE";
            continue;
        }
        if (parsed.expr.isEmpty())
            continue;
        std::unordered_map<std::string, std::string> renames;
        for (const NameRef &use : nameUses(parsed.expr)) {
            const std::string key = upper(use.spelling);
            const int column = t->predicateColumn + int(use.offset);
            const bool asBool = use.use == NameUse::Bool;
            if (key == "INIT" || byUpper.count(key)) {
                const bool isBool = key == "INIT" || !markingVariables.count(key);
                if (use.use != NameUse::Unknown && asBool != isBool)
                    namer.error(
                        t->line, column,
                        quoted(use.spelling) + " est "
                            + (isBool ? "une variable booléenne" : "une variable de marquage")
                            + " et le prédicat le lit comme "
                            + (asBool ? "un booléen" : "un nombre"));
                if (key != "INIT")
                    renames.emplace(std::string(use.spelling), byUpper.at(key));
                continue;
            }
            auto [it, added] = inputIndex.emplace(key, inputs_.size());
            if (added) {
                const std::string id = namer.give(
                    use.spelling, "E", {""}, "l'entrée " + quoted(use.spelling), t->line, column);
                inputs_.push_back(
                    {id, std::string(use.spelling),
                     asBool ? VariableType::Bool : VariableType::Dint, 0, false,
                     id == use.spelling ? std::string() : describe("entrée", use.spelling)});
            } else if (asBool) {
                inputs_[it->second].type = VariableType::Bool;
            }
            renames.emplace(std::string(use.spelling), inputs_[it->second].identifier);
        }
        condition
            = renderExpr(parsed.expr, [&](std::string_view name) -> std::optional<std::string> {
                  auto it = renames.find(std::string(name));
                  if (it == renames.end() || it->second == name)
                      return std::nullopt;
                  return it->second;
              });
    }

    // The program's name comes after the names the net gives, which the user wires, and before
    // the timers, the program's own.
    programName_ = namer.give(baseName, "RdP", {""}, "le programme", 0, 0);

    // A branch with nothing to do still needs a statement: the firing block of a transition
    // that changes nothing, and both branches of a net without places.
    // In a loop, every firing block has its statement.
    const Priorities priorities(net, {}, nullptr);
    const bool loop = firesInLoop(net, priorities, true);
    bool needed = places_.empty();
    for (const Transition *t = net.firstTransition(); t && !needed; t = t->next) {
        bool changes = t->outputs != nullptr;
        for (const ArcRef *arc = t->inputs; arc && !changes; arc = arc->next)
            changes = arc->kind == ArcKind::Normal;
        needed = !changes && !loop;
    }
    if (needed) {
        placeholder_ = "Sans_effet";
        locals_.push_back({placeholder_, std::string(), VariableType::Bool, 0, false,
                           "tient lieu d'instruction là où il n'y a rien à faire"});
    }

    // Timers of the transitions that must wait.
    for (const Transition *t = net.firstTransition(); t; t = t->next) {
        poll();
        if (t->interval.earliest <= 0)
            continue;
        const std::string id = namer.give(makeIdentifier(t->name, "T") + "_tempo", "T", {""},
                                          "la minuterie de " + quoted(t->name), t->line, 0);
        timers_[t->index] = id;
        earliest_[t->index] = t->interval.earliest;
        std::string comment = describe("transition", t->name) + " ["
            + std::to_string(t->interval.earliest) + ","
            + (t->interval.latest < 0 ? std::string("w") : std::to_string(t->interval.latest))
            + "] " + unitName();
        locals_.push_back({id, std::string(t->name), VariableType::Timer, 0, false, comment});
    }

    if (!loop)
        return;
    loop_.block = namer.give("Bloc_F", "", {""}, "le numéro de bloc", 0, 0);
    locals_.push_back({loop_.block, std::string(), VariableType::Dint, 0, false,
                       "le bloc de tir en cours, dans l'ordre du fichier"});
    loop_.fired = namer.give("Tir_F", "", {""}, "l'indicateur de tir", 0, 0);
    locals_.push_back({loop_.fired, std::string(), VariableType::Bool, 0, false,
                       "une transition a tiré au dernier tour du BLOC F"});
    loop_.flags.resize(net.transitionCount());
    for (const Transition *t : priorities.higherFirst()) {
        poll();
        const std::string id
            = namer.give(makeIdentifier(t->name, "T") + "_prioritaire", "T", {""},
                         "l'indicateur de priorité de " + quoted(t->name), t->line, 0);
        loop_.flags[t->index] = id;
        locals_.push_back({id, std::string(t->name), VariableType::Bool, 0, false,
                           describe("transition", t->name)
                               + " ou une transition prioritaire sur elle peut tirer"});
    }
}

namespace {

/// Whether `name` stands as an identifier in ST: a letter or '_', then letters, digits and
/// single '_', not ending with '_'.
bool isStIdentifier(std::string_view name)
{
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])) || name.back() == '_')
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c >= 0x80 || !(std::isalnum(c) || c == '_')
            || (c == '_' && i + 1 < name.size() && name[i + 1] == '_'))
            return false;
    }
    return true;
}

/// Why a spelling that st writes cannot compile, or nothing when it can. The blanks around an
/// output's name stand apart from it in the program.
std::string stSpellingFault(std::string_view spelling)
{
    spelling.remove_prefix(std::min(spelling.find_first_not_of(' '), spelling.size()));
    spelling.remove_suffix(spelling.size() - (spelling.find_last_not_of(' ') + 1));
    if (!isStIdentifier(spelling))
        return quoted(spelling) + " n'est pas un identificateur ST";
    if (isReservedWord(spelling))
        return quoted(spelling) + " est un mot réservé du ST";
    return {};
}

std::string placeFault(std::string_view name)
{
    std::string fault;
    for (const char *suffix : {"p", "s"})
        if (fault.empty())
            fault = stSpellingFault(std::string(name) + suffix);
    return fault;
}

} // namespace

void checkStNames(const Net &net, std::string_view fileName, Diagnostics &diagnostics)
{
    // Most nets have none: the names a complete program gives, which take a while to work out,
    // are only worked out for a net that has one.
    bool any = false;
    for (const Place *p = net.firstPlace(); p && !any; p = p->next) {
        any = !placeFault(p->name).empty();
        forEachOutputName(
            *p, [&](std::string_view name) { any = any || !stSpellingFault(name).empty(); });
    }
    for (const Transition *t = net.firstTransition(); t && !any; t = t->next)
        for (const ArcRef *list : {t->inputs, t->outputs})
            for (const ArcRef *arc = list; arc && !any; arc = arc->next)
                any = arc->place == ArcRef::noPlace && !placeFault(arc->placeName).empty();
    if (!any)
        return;

    Diagnostics notes;
    const ProgramSymbols symbols(net, "RdP", TimeUnit::Seconds, fileName, notes);
    auto warn = [&](int line, const std::string &what, const std::string &fault,
                    const std::string &spelling) {
        diagnostics.add(Severity::Warning, fileName, line, 0,
                        what + " : " + fault
                            + ", le programme ne compilera pas tel quel (le programme complet "
                              "écrit "
                            + spelling + ")");
    };
    auto place = [&](std::string_view name, int line) {
        const std::string fault = placeFault(name);
        if (fault.empty())
            return;
        const std::string stem(symbols.place(name));
        warn(line, "la place " + quoted(name), fault,
             quoted(stem + "p") + " et " + quoted(stem + "s"));
    };
    std::unordered_set<std::string_view> seen;
    for (const Place *p = net.firstPlace(); p; p = p->next) {
        if (p->firstOfName)
            place(p->name, p->line);
    }
    for (const Place *p = net.firstPlace(); p; p = p->next) {
        forEachOutputName(*p, [&](std::string_view name) {
            const std::string fault = stSpellingFault(name);
            if (!fault.empty() && seen.insert(name).second)
                warn(p->line, "la sortie " + quoted(name), fault, quoted(symbols.output(name)));
        });
    }
    // A place that only arcs name, at its first arc.
    std::unordered_map<std::string_view, int> firstLine;
    for (const Transition *t = net.firstTransition(); t; t = t->next)
        for (const ArcRef *list : {t->inputs, t->outputs})
            for (const ArcRef *arc = list; arc; arc = arc->next)
                if (arc->place == ArcRef::noPlace) {
                    auto [it, added] = firstLine.emplace(arc->placeName, arc->line);
                    if (!added)
                        it->second = std::min(it->second, int(arc->line));
                }
    for (const std::string &name : symbols.undeclaredPlaces())
        place(name, firstLine[name]);
}

std::string_view ProgramSymbols::place(std::string_view placeName) const
{
    const auto it = std::lower_bound(places_.begin(), places_.end(), placeName,
                                     [](const std::pair<std::string, std::string> &entry,
                                        std::string_view name) { return entry.first < name; });
    return it != places_.end() && it->first == placeName ? std::string_view(it->second) : placeName;
}

std::string_view ProgramSymbols::output(std::string_view outputName) const
{
    const auto it = std::lower_bound(outputNames_.begin(), outputNames_.end(), outputName,
                                     [](const std::pair<std::string, std::string> &entry,
                                        std::string_view name) { return entry.first < name; });
    return it != outputNames_.end() && it->first == outputName ? std::string_view(it->second)
                                                               : outputName;
}

const std::string &ProgramSymbols::condition(const Transition &transition) const
{
    return conditions_[transition.index];
}

const std::string *ProgramSymbols::timer(const Transition &transition) const
{
    const std::string &timer = timers_[transition.index];
    return timer.empty() ? nullptr : &timer;
}

std::string ProgramSymbols::preset(const Transition &transition) const
{
    return "T#" + std::to_string(earliest_[transition.index]) + timeUnitSuffix(unit_);
}

const char *ProgramSymbols::unitName() const
{
    return unit_ == TimeUnit::Minutes ? "min" : timeUnitSuffix(unit_);
}

} // namespace trilette
