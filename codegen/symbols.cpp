#include "codegen/symbols.h"

#include "codegen/stwriter.h"
#include "net/priorities.h"
#include "st/analysis.h"
#include "st/names.h"
#include "st/render.h"
#include "st/words.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace trilette {

namespace {

/// What makeIdentifier makes of `name`, worked out in `buffer` only when it changes the name.
std::string_view identifierOf(std::string_view name, std::string_view prefix, std::string &buffer)
{
    if (isStIdentifier(name) && name[0] != '_')
        return name;
    buffer = makeIdentifier(name, prefix);
    return buffer;
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

ProgramSymbols::ProgramSymbols(const Net &net, std::string_view baseName, TimeUnit unit,
                               std::string_view fileName, Diagnostics &diagnostics,
                               const StopCheck &stop, const Priorities *priorities,
                               const ClashKeys *only)
    : ownPriorities_(priorities || only ? nullptr : std::make_unique<Priorities>(net, "", nullptr))
    , priorities_(priorities ? priorities : ownPriorities_.get())
    , unit_(unit)
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

    // The places and the outputs to name: all, or those of the keys asked for.
    const bool placesAndOutputsOnly = only;
    std::string buffer;
    auto skipped = [&](std::string_view name, std::string_view prefix) {
        return only && !only->meets(identifierOf(name, prefix, buffer));
    };

    // The names of the places and the outputs, counted before any is given.
    size_t names = net.undeclaredPlaces().size(), nameBytes = 0;
    for (const Place *p = net.firstPlace(); p; p = p->next) {
        ++names;
        nameBytes += p->name.size();
        forEachOutputName(*p, [&](std::string_view name) {
            ++names;
            nameBytes += name.size();
        });
    }
    for (const UndeclaredPlace &place : net.undeclaredPlaces())
        nameBytes += place.name.size();
    // Each description ("la place « P1 »") is the name and about 20 bytes.
    if (!only)
        namer.expect(names, 2 * nameBytes + 24 * names);

    // Places: those declared (the first of each name), then those that only arcs name.
    auto addPlace = [&](std::string_view name, int32_t marking, int line, bool declared) {
        if (skipped(name, "P"))
            return;
        // The names alone keep neither what each name is (for notes that nobody reads) nor the
        // declarations: a large net's checks in st stay light.
        const std::string id = namer.give(
            name, "P", GivenAs::PlaceStem,
            placesAndOutputsOnly ? std::string() : "la place " + quoted(name), line, 0);
        // The names alone keep only those that change: place() gives the others as they stand.
        if (placesAndOutputsOnly) {
            if (id != name)
                places_.push_back({std::string(name), id});
            return;
        }
        places_.push_back({std::string(name), id});
        std::string comment = id == name ? std::string() : describe("place", name);
        if (!declared)
            comment = describe("place", name) + " nommée par un arc seulement";
        locals_.push_back(
            {id + "p", std::string(name), VariableType::Dint, marking, true, comment});
        locals_.push_back(
            {id + "s", std::string(name), VariableType::Dint, marking, true, comment});
    };
    for (const Place *p = net.firstPlace(); p; p = p->next) {
        poll();
        if (p->firstOfName)
            addPlace(p->name, p->marking, p->line, true);
    }
    for (const UndeclaredPlace &place : net.undeclaredPlaces()) {
        poll();
        addPlace(place.name, 0, place.line, false);
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
            if (skipped(name, "S") || !seenOutputs.insert(name).second)
                return;
            const std::string id = namer.give(
                name, "S", GivenAs::Identifier,
                placesAndOutputsOnly ? std::string() : "la sortie " + quoted(name), p->line, 0);
            if (placesAndOutputsOnly) {
                if (id != name)
                    outputNames_.emplace_back(std::string(name), id);
                return;
            }
            outputNames_.emplace_back(std::string(name), id);
            outputs_.push_back({id, std::string(name), VariableType::Bool, 0, false,
                                id == name ? std::string() : describe("sortie", name)});
            byUpper.emplace(upperCase(name), id);
        });
    }
    std::sort(outputNames_.begin(), outputNames_.end());
    if (placesAndOutputsOnly)
        return;

    // BLOC G's variables for the places that name many outputs under a long name.
    for (const Place *p = net.firstPlace(); p; p = p->next) {
        poll();
        if (!markedFlagNeeded(*p, place(p->name).size()))
            continue;
        markedFlags_.resize(net.placeCount());
        markedFlags_[p->index]
            = namer.give("Place_marquee_" + std::to_string(p->index + 1), "", GivenAs::Identifier,
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
            markingVariables.emplace(upperCase(name + suffix), VariableType::Dint);
            byUpper.emplace(upperCase(name + suffix), id + suffix);
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
            const std::string key = upperCase(use.spelling);
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
                const std::string id
                    = namer.give(use.spelling, "E", GivenAs::Identifier,
                                 "l'entrée " + quoted(use.spelling), t->line, column);
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
    programName_ = namer.give(baseName, "RdP", GivenAs::Identifier, "le programme", 0, 0);

    // A branch with nothing to do still needs a statement: the firing block of a transition
    // that changes nothing, and both branches of a net without places.
    // In a loop, every firing block has its statement.
    const bool loop = firesInLoop(net, *priorities_, true);
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
        const std::string id
            = namer.give(makeIdentifier(t->name, "T") + "_tempo", "T", GivenAs::Identifier,
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
    loop_.block = namer.give("Bloc_F", "", GivenAs::Identifier, "le numéro de bloc", 0, 0);
    locals_.push_back({loop_.block, std::string(), VariableType::Dint, 0, false,
                       "le bloc de tir en cours, dans l'ordre du fichier"});
    loop_.fired = namer.give("Tir_F", "", GivenAs::Identifier, "l'indicateur de tir", 0, 0);
    locals_.push_back({loop_.fired, std::string(), VariableType::Bool, 0, false,
                       "une transition a tiré au dernier tour du BLOC F"});
    loop_.flags.resize(net.transitionCount());
    for (const Transition *t : priorities_->higherFirst()) {
        poll();
        const std::string id
            = namer.give(makeIdentifier(t->name, "T") + "_prioritaire", "T", GivenAs::Identifier,
                         "l'indicateur de priorité de " + quoted(t->name), t->line, 0);
        loop_.flags[t->index] = id;
        locals_.push_back({id, std::string(t->name), VariableType::Bool, 0, false,
                           describe("transition", t->name)
                               + " ou une transition prioritaire sur elle peut tirer"});
    }
}

namespace {

/// Why a place's two marking variables, as st writes them, cannot compile; `spelling` is room
/// for their names.
std::string placeFault(std::string_view name, std::string &spelling)
{
    for (char suffix : {'p', 's'}) {
        spelling.assign(name);
        spelling += suffix;
        if (std::string fault = stSpellingFault(spelling); !fault.empty())
            return fault;
    }
    return {};
}

} // namespace

void checkStNames(const Net &net, std::string_view fileName, Diagnostics &diagnostics)
{
    // The names to report, in the order of their warnings: places, outputs, then places that
    // only arcs name (at their earliest arc).
    // (Their faults are worked out again for the warnings: a net may have a million.)
    struct Reported
    {
        std::string_view name;
        int line;
        bool isPlace;
    };
    std::vector<Reported> reported;
    std::string buffer;
    for (const Place *p = net.firstPlace(); p; p = p->next) {
        if (p->firstOfName && !placeFault(p->name, buffer).empty())
            reported.push_back({p->name, p->line, true});
    }
    std::unordered_set<std::string_view> seen;
    for (const Place *p = net.firstPlace(); p; p = p->next) {
        forEachOutputName(*p, [&](std::string_view name) {
            if (!stSpellingFault(name).empty() && seen.insert(name).second)
                reported.push_back({name, p->line, false});
        });
    }
    for (const UndeclaredPlace &place : net.undeclaredPlaces())
        if (!placeFault(place.name, buffer).empty())
            reported.push_back({place.name, place.line, true});
    if (reported.empty())
        return;

    // Most nets have none. The names that a complete program gives, which take a while to work
    // out, are only worked out for those and for the names that may change their spelling (see
    // ClashKeys), found in rounds over the names since those may meet others in turn. One or two
    // rounds find them all in a real net; past four, every name is worked out.
    ClashKeys keys;
    for (const Reported &r : reported)
        keys.add(identifierOf(r.name, r.isPlace ? "P" : "S", buffer));
    bool grew = true;
    for (int round = 0; grew && round < 4; ++round) {
        grew = false;
        auto meet = [&](std::string_view name, std::string_view prefix) {
            const std::string_view identifier = identifierOf(name, prefix, buffer);
            if (keys.meets(identifier) && keys.add(identifier))
                grew = true;
        };
        for (const Place *p = net.firstPlace(); p; p = p->next) {
            if (p->firstOfName)
                meet(p->name, "P");
            forEachOutputName(*p, [&](std::string_view name) { meet(name, "S"); });
        }
        for (const UndeclaredPlace &place : net.undeclaredPlaces())
            meet(place.name, "P");
    }
    if (grew)
        keys = ClashKeys::everything();

    Diagnostics notes;
    const ProgramSymbols symbols(net, "RdP", TimeUnit::Seconds, fileName, notes, {}, nullptr,
                                 &keys);
    for (const Reported &r : reported) {
        std::string spelling;
        if (r.isPlace) {
            const std::string stem(symbols.place(r.name));
            spelling = quoted(stem + "p") + " et " + quoted(stem + "s");
        } else {
            spelling = quoted(symbols.output(r.name));
        }
        const std::string fault = r.isPlace ? placeFault(r.name, buffer) : stSpellingFault(r.name);
        diagnostics.add(Severity::Warning, fileName, r.line, 0,
                        (r.isPlace ? "la place " : "la sortie ") + quoted(r.name) + " : " + fault
                            + ", le programme ne compilera pas tel quel (le programme complet "
                              "écrit "
                            + spelling + ")");
    }
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
