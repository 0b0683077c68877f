#include "net/netcheck.h"

#include "net/priorities.h"
#include "st/analysis.h"
#include "st/nameindex.h"
#include "st/words.h"
#include "util/chunkedvector.h"

#include <algorithm>
#include <string>
#include <vector>

namespace trilette {

namespace {

/// A name of the net with where it was first met, in 16 bytes.
struct Named
{
    const char *data;
    uint32_t size;
    int32_t line;
    Text name() const { return Text(data, size); }
};

/// Names met in order, each once, with an index to find them again.
template<typename Names> class NameList
{
public:
    /// The position of `name` in the list, and whether it was added just now.
    std::pair<uint32_t, bool> add(Text name, int line)
    {
        const auto result = index_.insert(name, uint32_t(list_.size()),
                                          [this](uint32_t i) { return list_[i].name(); });
        if (result.second)
            list_.push_back({name.data(), uint32_t(name.size()), line});
        return result;
    }
    /// The position of `name`, or NameIndex::none.
    uint32_t find(std::string_view name) const
    {
        return index_.find(name, [this](uint32_t i) { return list_[i].name(); });
    }
    const Named &operator[](uint32_t i) const { return list_[i]; }
    const ChunkedVector<Named> &all() const { return list_; }

private:
    ChunkedVector<Named> list_;
    NameIndex<Names> index_;
};

/// The offset of the first parenthesis of `text` that has no partner ('(' or ')', whatever
/// stands around it), or npos when they all pair up.
size_t unbalancedParenthesis(std::string_view text)
{
    size_t depth = 0, outermost = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '(') {
            if (depth++ == 0)
                outermost = i;
        } else if (text[i] == ')') {
            if (depth == 0)
                return i;
            --depth;
        }
    }
    return depth == 0 ? std::string_view::npos : outermost;
}

/// Reports findings of one net at their lines.
class Checker
{
public:
    Checker(const Net &net, std::string_view fileName, const CheckOptions &options,
            Diagnostics &diagnostics)
        : net_(net)
        , file_(fileName)
        , options_(options)
        , diagnostics_(diagnostics)
    { }

    /// One group of checks (see checkNetGroup). Within a group, the checks that build large
    /// tables come first, while few diagnostics are kept, and free their tables as they end.
    void run(CheckGroup group, const Priorities &priorities)
    {
        switch (group) {
        case CheckGroup::Conflicts:
            conflicts(priorities);
            break;
        case CheckGroup::Predicates:
            predicates();
            if (!options_.strict)
                clashes();
            break;
        case CheckGroup::Declarations:
            undeclaredPlaces();
            namesDeclaredTwice();
            droppedArcs();
            break;
        case CheckGroup::Writing:
            duplicateArcs();
            unwrittenTexts();
            break;
        case CheckGroup::Firing:
            transitionsWithoutInputs();
            arcsAndIntervals();
            break;
        }
    }

private:
    /// Reports `message` then `tail`, a literal ending that the diagnostics keep once for all
    /// the messages that end with it.
    void say(Severity severity, int line, int column, std::string_view message,
             std::string_view tail = {})
    {
        diagnostics_.add(severity, file_, line, column, message, tail);
    }

    /// Places and transitions whose name an earlier one has; the net indexes the first of each.
    void namesDeclaredTwice()
    {
        for (const Place *p = net_.firstPlace(); p; p = p->next) {
            if (p->firstOfName)
                continue;
            const Place *first = net_.findPlace(p->name);
            if (first && first != p)
                say(Severity::Warning, p->line, 0,
                    "place " + quoted(p->name) + " déjà déclarée ligne "
                        + std::to_string(first->line),
                    " : les deux ont les mêmes variables de marquage, qui prennent le marquage "
                    "de la première");
        }
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            const Net::Node node = net_.findNode(t->name);
            const Transition *first = node.transition;
            if (first && first != t)
                say(Severity::Warning, t->line, 0,
                    "transition " + quoted(t->name) + " déjà déclarée ligne "
                        + std::to_string(first->line),
                    " : ses arcs vont tous à la première");
            if (const Place *place = node.place)
                say(Severity::Warning, t->line, 0,
                    quoted(t->name) + " nomme déjà une place ligne " + std::to_string(place->line),
                    " : les arcs qui portent ce nom vont à la transition");
        }
    }

    void droppedArcs()
    {
        for (const DroppedArc *arc = net_.droppedArcs(); arc; arc = arc->next) {
            const Transition *later = net_.findTransition(arc->source);
            if (!later)
                later = net_.findTransition(arc->target);
            std::string message
                = "arc " + quoted(arc->source) + " → " + quoted(arc->target) + " ignoré : ";
            if (later)
                message += "la transition " + quoted(later->name) + " n'est déclarée qu'à la ligne "
                    + std::to_string(later->line) + ", après lui";
            else if (net_.findPlace(arc->source) && net_.findPlace(arc->target))
                message += "il relie deux places";
            else
                message += "aucune de ses extrémités ne nomme une transition";
            say(Severity::Warning, arc->line, 0, message);
        }
    }

    /// Arcs written twice between the same place and transition (with the same kind): the
    /// second one written is reported, with the line of the first.
    void duplicateArcs()
    {
        std::vector<const ArcRef *> arcs;
        std::vector<int64_t> sums;
        std::vector<bool> overflowed;
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            for (const ArcRef *list : {t->inputs, t->outputs}) {
                if (!list || !list->next)
                    continue;
                // The lists run from the last arc read to the first.
                arcs.clear();
                for (const ArcRef *arc = list; arc; arc = arc->next)
                    arcs.push_back(arc);
                std::reverse(arcs.begin(), arcs.end());
                const bool input = list == t->inputs;
                auto report = [&](const ArcRef *arc, const ArcRef *first) {
                    const bool adds = !input || arc->kind == ArcKind::Normal;
                    say(Severity::Warning, arc->line, 0,
                        "arc " + quoted(input ? arc->placeName : t->name) + " → "
                            + quoted(input ? t->name : arc->placeName) + " déjà écrit ligne "
                            + std::to_string(first->line),
                        adds ? " : leurs poids s'ajoutent" : " : chacun doit être satisfait");
                };
                auto same = [](const ArcRef *a, const ArcRef *b) {
                    return a->kind == b->kind && a->placeName == b->placeName;
                };
                // Weights that add up must stay a 32-bit count: the program tests their sum and
                // takes or gives each one, which would then differ.
                sums.clear();
                for (const ArcRef *arc : arcs)
                    sums.push_back(arc->weight);
                auto add = [&](size_t arc, size_t first) {
                    const bool adds = !input || arcs[arc]->kind == ArcKind::Normal;
                    const int64_t total = sums[first] += arcs[arc]->weight;
                    if (adds && !overflowed[first] && (total > INT32_MAX || total < INT32_MIN)) {
                        overflowed[first] = true;
                        say(Severity::Error, arcs[arc]->line, 0,
                            "les poids des arcs " + quoted(input ? arcs[arc]->placeName : t->name)
                                + " → " + quoted(input ? t->name : arcs[arc]->placeName)
                                + " s'ajoutent au-delà des limites d'un entier de 32 bits",
                            " : le programme ne peut pas les compter");
                    }
                };
                overflowed.assign(arcs.size(), false);
                if (arcs.size() <= 16) {
                    for (size_t i = 1; i < arcs.size(); ++i)
                        for (size_t j = 0; j < i; ++j)
                            if (same(arcs[i], arcs[j])) {
                                report(arcs[i], arcs[j]);
                                add(i, j);
                                break;
                            }
                    continue;
                }
                // Many arcs: sorted by place and kind, keeping the file order within.
                std::stable_sort(arcs.begin(), arcs.end(), [](const ArcRef *a, const ArcRef *b) {
                    return a->placeName != b->placeName ? a->placeName < b->placeName
                                                        : a->kind < b->kind;
                });
                for (size_t i = 1, first = 0; i < arcs.size(); ++i) {
                    if (same(arcs[i], arcs[first])) {
                        report(arcs[i], arcs[first]);
                        add(i, first);
                    } else {
                        first = i;
                    }
                }
            }
        }
    }

    void predicates()
    {
        const Severity severity = options_.strict ? Severity::Error : Severity::Warning;
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            if (t->unreadLabelColumn)
                say(severity, t->line, t->unreadLabelColumn,
                    "étiquette de la transition " + quoted(t->name)
                        + " non lue : elle n'est pas là où l'éditeur met l'étiquette d'une "
                          "transition (« t X Y NOM [ANCRE] EFT LFT ANCRE {ÉTIQUETTE} ANCRE »)",
                    options_.strict ? "" : " ; la transition tire sans prédicat");
            if (t->predicate.empty())
                continue;
            if (const size_t unmatched = unbalancedParenthesis(t->predicate);
                unmatched != std::string_view::npos) {
                // Written as it stands, such a predicate would close the condition that holds
                // the arcs' tests, or leave it open: no format may carry it.
                say(Severity::Error, t->line, t->predicateColumn + int(unmatched),
                    "prédicat " + quoted(t->predicate) + " de la transition " + quoted(t->name),
                    " : ses parenthèses ne s'équilibrent pas, il sortirait de la condition du "
                    "tir");
                continue;
            }
            const ParseResult result = parseExpression(t->predicate);
            if (!result.ok) {
                say(severity, t->line, t->predicateColumn + int(result.error.offset),
                    "prédicat " + quoted(t->predicate) + " de la transition " + quoted(t->name)
                        + " invalide en ST : " + result.error.message());
                continue;
            }
            if (result.expr.isEmpty())
                continue;
            const std::vector<NameRef> uses = nameUses(result.expr);
            for (const NameConflict &conflict : useConflicts(uses))
                say(severity, t->line, t->predicateColumn + int(conflict.asNumber.offset),
                    quoted(conflict.asNumber.spelling) + " est lu comme un nombre ici et comme un "
                        + "booléen colonne "
                        + std::to_string(t->predicateColumn + int(conflict.asBool.offset))
                        + " : il ne peut avoir qu'un type");
            for (const NameRef &use : uses) {
                // The spelling in the net's own copy of the predicate, which outlives the tree.
                const Text spelling = t->predicate.substr(use.offset, use.spelling.size());
                const auto [id, added] = predicateNames_.add(spelling, t->line);
                if (!added && predicateNames_[id].name() != spelling)
                    otherSpellings_.add(spelling, t->line);
                if (!options_.strict && isReservedWord(use.spelling))
                    say(Severity::Warning, t->line, t->predicateColumn + int(use.offset),
                        quoted(use.spelling),
                        " est un mot réservé du ST : le programme ne compilera pas tel quel (le "
                        "programme complet et PLCopen XML le renomment)");
            }
            for (const ExprNode &node : result.expr.nodes()) {
                const int column = t->predicateColumn + int(node.mark);
                if (node.kind == ExprKind::Call && isKeyword(result.expr.prefix(node)))
                    say(severity, t->line, t->predicateColumn + int(node.begin),
                        "appel de " + quoted(result.expr.prefix(node))
                            + " impossible : c'est un mot réservé du ST, pas une fonction");
                // What strict compilers refuse where a program declares its inputs DINT.
                if (options_.strict && node.kind == ExprKind::Pow)
                    say(Severity::Error, t->line, column,
                        "« ** » ne s'applique qu'aux réels, et les entrées numériques du "
                        "programme sont des DINT : écrire la puissance autrement");
                if (options_.strict && node.kind == ExprKind::Member)
                    say(Severity::Error, t->line, t->predicateColumn + int(node.begin),
                        quoted(result.expr.text(node))
                            + " lit la sortie d'un bloc fonctionnel que le programme ne déclare "
                              "pas : le format st, où le projet déclare ses blocs, le permet");
                if (options_.strict && node.kind == ExprKind::Plus)
                    say(Severity::Error, t->line, column,
                        "le « + » unaire n'est pas du ST que les compilateurs acceptent : "
                        "l'enlever");
            }
        }
    }

    void unwrittenTexts()
    {
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            if (t->actionText.find_first_not_of(' ') != std::string::npos)
                say(Severity::Warning, t->line, t->actionColumn,
                    "action " + quoted(t->actionText) + " de la transition " + quoted(t->name),
                    " non écrite : le programme ne porte que le prédicat");
        }
        for (const Place *p = net_.firstPlace(); p; p = p->next) {
            if (!p->actions || !p->actions->next)
                continue;
            // Named from the last node to the second, joined once (not rebuilt per node).
            std::vector<const ActionNode *> rest;
            for (const ActionNode *a = p->actions->next; a; a = a->next)
                rest.push_back(a);
            std::string dropped;
            for (auto a = rest.rbegin(); a != rest.rend(); ++a)
                dropped += (dropped.empty() ? "" : ", ") + quoted((*a)->text);
            say(Severity::Warning, p->line, p->labelColumn,
                "étiquette de la place " + quoted(p->name) + " : seul " + quoted(p->actions->text)
                    + ", après la dernière virgule, nomme des sorties ; " + dropped,
                " n'est pas écrit");
        }
    }

    void transitionsWithoutInputs()
    {
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            if (t->inputs)
                continue;
            say(Severity::Warning, t->line, 0, "la transition " + quoted(t->name),
                t->outputs ? " n'a aucun arc d'entrée : elle tire à chaque cycle où son prédicat "
                             "est vrai, et ses places de sortie croissent sans limite jusqu'au "
                             "débordement"
                           : " n'a aucun arc d'entrée : elle tire à chaque cycle où son prédicat "
                             "est vrai");
        }
    }

    /// Places that arcs name but no place line declares, each at its earliest arc's line.
    void undeclaredPlaces()
    {
        const std::vector<UndeclaredPlace> &undeclared = net_.undeclaredPlaces();
        std::vector<uint32_t> order(undeclared.size());
        for (uint32_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            return undeclared[a].line < undeclared[b].line;
        });
        for (uint32_t id : order)
            say(Severity::Warning, undeclared[id].line, 0,
                "la place " + quoted(undeclared[id].name),
                options_.strict ? ", nommée par un arc, n'est déclarée nulle part : le programme "
                                  "la déclare avec un marquage nul"
                                : ", nommée par un arc, n'est déclarée nulle part : ses variables "
                                  "ne sont ni initialisées ni recopiées en BLOC M");
    }

    /// Places that feed several transitions which may fire in the same cycle and that no
    /// priority orders: the program serves them in file order.
    void conflicts(const Priorities &priorities)
    {
        // Every arc that takes tokens, grouped by the place it takes from (declared places by
        // position, then the names that no place line declares), in transition order within.
        struct Feed
        {
            uint32_t place;
            uint32_t transition;
            int line;
        };
        const uint32_t declared = uint32_t(net_.placeCount());
        auto takes
            = [](const ArcRef &arc) { return arc.kind == ArcKind::Normal && arc.weight > 0; };
        // A counting sort in two passes over the arcs, which keeps the transition order within
        // each place.
        std::vector<uint32_t> start(declared + net_.undeclaredPlaces().size() + 1, 0);
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            for (const ArcRef *arc = t->inputs; arc; arc = arc->next) {
                if (takes(*arc))
                    ++start[arc->place + 1];
            }
        }
        for (size_t i = 1; i < start.size(); ++i)
            start[i] += start[i - 1];
        std::vector<Feed> feeds(start.back());
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            for (const ArcRef *arc = t->inputs; arc; arc = arc->next) {
                if (takes(*arc))
                    feeds[start[arc->place]++] = {arc->place, t->index, arc->line};
            }
        }
        start = std::vector<uint32_t>();

        // Whether a priority orders two transitions, through any number of others. The walks
        // along the priority arcs share one budget, linear in the net; past it, a pair counts as
        // unordered, which at worst reports a conflict too many.
        int64_t budget = 16 * int64_t(net_.transitionCount()) + (int64_t(1) << 20);
        auto ordered = [&](const Transition &a, const Transition &b) {
            return priorities.above(a, b, &budget) || priorities.above(b, a, &budget);
        };
        std::vector<uint32_t> rank(priorities.empty() ? 0 : net_.transitionCount(), UINT32_MAX);
        for (size_t i = 0; i < priorities.higherFirst().size(); ++i)
            rank[priorities.higherFirst()[i]->index] = uint32_t(i);
        // A group too large to compare pair by pair is ordered when its members, taken from the
        // highest, each have priority over the next one (the lowest has no rank: it is above
        // none).
        auto chain = [&](std::vector<const Transition *> members) {
            if (rank.empty())
                return false;
            std::sort(members.begin(), members.end(),
                      [&](const Transition *a, const Transition *b) {
                          return rank[a->index] < rank[b->index];
                      });
            for (size_t i = 0; i + 1 < members.size(); ++i)
                if (!priorities.above(*members[i], *members[i + 1], &budget))
                    return false;
            return true;
        };
        constexpr size_t pairLimit = 64;
        std::vector<const Transition *> group;
        std::vector<ParseResult> parsed;
        for (size_t begin = 0; begin < feeds.size();) {
            size_t end = begin;
            int firstLine = feeds[begin].line;
            group.clear();
            for (; end < feeds.size() && feeds[end].place == feeds[begin].place; ++end) {
                firstLine = std::min(firstLine, feeds[end].line);
                const Transition *t = &net_.transition(feeds[end].transition);
                if (group.empty() || group.back() != t)
                    group.push_back(t);
            }
            const uint32_t key = feeds[begin].place;
            const Text name = key < declared ? net_.place(key).name
                                             : net_.undeclaredPlaces()[key - declared].name;
            begin = end;
            if (group.size() < 2)
                continue;
            // Only the predicates of this place's transitions are parsed again.
            parsed.clear();
            if (group.size() <= pairLimit)
                for (const Transition *t : group)
                    parsed.push_back(parseExpression(t->predicate));
            auto exclusive = [&](size_t i, size_t j) {
                return parsed[i].ok && parsed[j].ok
                    && provablyExclusive(parsed[i].expr, parsed[j].expr);
            };
            std::vector<bool> involved(group.size(), false);
            bool any = false;
            if (group.size() > pairLimit) {
                any = !chain(group);
                involved.assign(group.size(), any);
            }
            for (size_t i = 0; i < group.size() && group.size() <= pairLimit; ++i)
                for (size_t j = i + 1; j < group.size(); ++j)
                    if (!exclusive(i, j) && !ordered(*group[i], *group[j]))
                        involved[i] = involved[j] = any = true;
            if (!any)
                continue;
            std::string names;
            for (size_t i = 0; i < group.size(); ++i)
                if (involved[i])
                    names += (names.empty() ? "" : ", ") + quoted(group[i]->name);
            say(Severity::Note, key < declared ? net_.place(key).line : firstLine, 0,
                "la place " + quoted(name) + " alimente " + names,
                ", dont les prédicats ne s'excluent pas : quand plusieurs peuvent tirer, le "
                "programme sert la première dans l'ordre du fichier");
        }
    }

    void arcsAndIntervals()
    {
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            for (const ArcRef *arc = t->inputs; arc; arc = arc->next) {
                if (arc->kind == ArcKind::Stopwatch || arc->kind == ArcKind::StopwatchInhibitor)
                    say(Severity::Warning, arc->line, 0,
                        "arc chronomètre " + quoted(arc->placeName) + " → " + quoted(t->name),
                        " ignoré : il ne fait que suspendre l'horloge de la transition, ce que le "
                        "programme ne fait pas");
            }
            // Only a wait is lost: no format can force a latest firing time.
            if (t->interval.earliest == 0 || options_.timed)
                continue;
            const std::string latest
                = t->interval.latest < 0 ? "w" : std::to_string(t->interval.latest);
            say(Severity::Warning, t->line, 0,
                "intervalle [" + std::to_string(t->interval.earliest) + "," + latest
                    + "] de la transition " + quoted(t->name),
                " ignoré : le format st n'a pas de temporisation, la transition n'attend pas (le "
                "programme complet et PLCopen XML en ont)");
        }
    }

    /// Names that are one variable in ST, where case does not count: the marking variables of
    /// the places (name, then p or s), the outputs, the names the predicates read. A name is
    /// reported once, against the first that took it (places first, then outputs, then
    /// predicates), at the line where it is first met.
    void clashes()
    {
        const char *same = " sont une seule variable en ST, où la casse ne compte pas";
        auto variable = [](Text place, char suffix) {
            const std::string name = std::string(place) + suffix;
            return "la variable " + quoted(name) + " de la place " + quoted(place);
        };
        auto placeName = [this](uint32_t id) { return net_.place(id).name; };
        // A place's variables clash with those of an earlier place of the same name but case.
        NameIndex<FoldedNames> places;
        for (const Place *p = net_.firstPlace(); p; p = p->next) {
            if (!p->firstOfName)
                continue;
            const auto [id, added] = places.insert(p->name, p->index, placeName);
            if (added)
                continue;
            const Place &first = net_.place(id);
            for (char suffix : {'p', 's'})
                say(Severity::Warning, p->line, 0,
                    variable(p->name, suffix) + " et " + variable(first.name, suffix) + " (ligne "
                        + std::to_string(first.line) + ")" + same);
        }
        // The place whose variable `name` would be, or none.
        auto placeVariable = [&](std::string_view name) -> const Place * {
            if (name.size() < 2)
                return nullptr;
            const char last = upperAscii(name.back());
            if (last != 'P' && last != 'S')
                return nullptr;
            const uint32_t id = places.find(name.substr(0, name.size() - 1), placeName);
            return id == NameIndex<>::none ? nullptr : &net_.place(id);
        };
        auto owner = [&](const Place &place, std::string_view name) {
            const char suffix = upperAscii(name.back()) == 'P' ? 'p' : 's';
            return variable(place.name, suffix) + " (ligne " + std::to_string(place.line) + ")";
        };

        // Outputs: the first spelling of each; a spelling that clashes is reported once.
        NameList<FoldedNames> outputs;
        NameList<ExactNames> reported;
        for (const Place *p = net_.firstPlace(); p; p = p->next)
            forEachOutputName(*p, [&](std::string_view output) {
                const std::string what = "la sortie " + quoted(output);
                if (const Place *place = placeVariable(output)) {
                    if (reported.add(output, p->line).second)
                        say(Severity::Warning, p->line, 0,
                            what + " et " + owner(*place, output) + same);
                    return;
                }
                const auto [id, added] = outputs.add(output, p->line);
                if (added || outputs[id].name() == output || !reported.add(output, p->line).second)
                    return;
                say(Severity::Warning, p->line, 0,
                    what + " et la sortie " + quoted(outputs[id].name()) + " (ligne "
                        + std::to_string(outputs[id].line) + ")" + same);
            });

        // The names the predicates read: against a marking variable, an output, or the first
        // spelling of the name.
        auto readName = [&](const Named &spelling, const Named *first) {
            const Text name = spelling.name();
            std::string other;
            if (const Place *place = placeVariable(name)) {
                other = owner(*place, name);
            } else if (const uint32_t id = outputs.find(name); id != NameIndex<>::none) {
                other = "la sortie " + quoted(outputs[id].name()) + " (ligne "
                    + std::to_string(outputs[id].line) + ")";
            } else if (first) {
                other = quoted(first->name()) + " (ligne " + std::to_string(first->line) + ")";
            } else {
                return;
            }
            say(Severity::Warning, spelling.line, 0,
                "le prédicat lit " + quoted(name) + ", qui est aussi " + other
                    + " : il lit la valeur du cycle précédent");
        };
        predicateNames_.all().forEach([&](const Named &name) { readName(name, nullptr); });
        otherSpellings_.all().forEach([&](const Named &name) {
            readName(name, &predicateNames_[predicateNames_.find(name.name())]);
        });
    }

    const Net &net_;
    std::string file_;
    CheckOptions options_;
    Diagnostics &diagnostics_;
    /// The names that predicates read, in their first spelling, with the line of their first
    /// use; and the rare other spellings of them (other cases).
    NameList<FoldedNames> predicateNames_;
    NameList<ExactNames> otherSpellings_;
};

} // namespace

void checkNetGroup(const Net &net, std::string_view fileName, const CheckOptions &options,
                   const Priorities &priorities, Diagnostics &diagnostics, CheckGroup group)
{
    Checker(net, fileName, options, diagnostics).run(group, priorities);
}

void checkNet(const Net &net, std::string_view fileName, const CheckOptions &options,
              Diagnostics &diagnostics)
{
    const Priorities priorities(net, fileName, &diagnostics);
    for (CheckGroup group : checkGroups)
        checkNetGroup(net, fileName, options, priorities, diagnostics, group);
}

} // namespace trilette
