#include "net/netcheck.h"

#include "net/firing.h"
#include "net/stexpr.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace trilette {

namespace {

std::string upper(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
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

    void run()
    {
        indexNames();
        droppedArcs();
        duplicateArcs();
        predicates();
        unwrittenTexts();
        transitionsWithoutInputs();
        undeclaredPlaces();
        const Priorities priorities(net_, file_, &diagnostics_);
        conflicts(priorities);
        arcsAndIntervals();
        if (!options_.strict)
            clashes();
    }

private:
    void say(Severity severity, int line, int column, std::string message)
    {
        diagnostics_.add(severity, file_, line, column, std::move(message));
    }

    /// The first place and the first transition of each name, and names declared twice.
    void indexNames()
    {
        for (const Place *p = net_.firstPlace(); p; p = p->next) {
            const auto [first, added] = places_.emplace(std::string_view(p->name), p);
            if (!added)
                say(Severity::Warning, p->line, 0,
                    "place " + quoted(p->name) + " déjà déclarée ligne "
                        + std::to_string(first->second->line)
                        + " : les deux ont les mêmes variables de marquage");
        }
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            const auto [first, added] = transitions_.emplace(std::string_view(t->name), t);
            if (!added)
                say(Severity::Warning, t->line, 0,
                    "transition " + quoted(t->name) + " déjà déclarée ligne "
                        + std::to_string(first->second->line)
                        + " : ses arcs vont tous à la première");
            if (auto place = places_.find(std::string_view(t->name)); place != places_.end())
                say(Severity::Warning, t->line, 0,
                    quoted(t->name) + " nomme déjà une place ligne "
                        + std::to_string(place->second->line)
                        + " : les arcs qui portent ce nom vont à la transition");
        }
    }

    void droppedArcs()
    {
        for (const DroppedArc *arc = net_.droppedArcs(); arc; arc = arc->next) {
            const Transition *later = nullptr;
            for (std::string_view end :
                 {std::string_view(arc->source), std::string_view(arc->target)})
                if (auto t = transitions_.find(end); t != transitions_.end() && !later)
                    later = t->second;
            std::string message
                = "arc " + quoted(arc->source) + " → " + quoted(arc->target) + " ignoré : ";
            if (later)
                message += "la transition " + quoted(later->name) + " n'est déclarée qu'à la ligne "
                    + std::to_string(later->line) + ", après lui";
            else if (places_.count(std::string_view(arc->source))
                     && places_.count(std::string_view(arc->target)))
                message += "il relie deux places";
            else
                message += "aucune de ses extrémités ne nomme une transition";
            say(Severity::Warning, arc->line, 0, message);
        }
    }

    void duplicateArcs()
    {
        std::map<std::pair<std::string_view, int>, const ArcRef *> seen;
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            for (const ArcRef *list : {t->inputs, t->outputs}) {
                seen.clear();
                // The lists run from the last arc read to the first: walk them backwards by
                // remembering each arc, so that the second one written is the one reported.
                std::vector<const ArcRef *> arcs;
                for (const ArcRef *arc = list; arc; arc = arc->next)
                    arcs.push_back(arc);
                for (auto it = arcs.rbegin(); it != arcs.rend(); ++it) {
                    const ArcRef *arc = *it;
                    const auto [first, added] = seen.emplace(
                        std::make_pair(std::string_view(arc->placeName), int(arc->kind)), arc);
                    if (added)
                        continue;
                    const bool input = list == t->inputs;
                    const bool adds = !input || arc->kind == ArcKind::Normal;
                    say(Severity::Warning, arc->line, 0,
                        "arc " + quoted(input ? arc->placeName : t->name) + " → "
                            + quoted(input ? t->name : arc->placeName) + " déjà écrit ligne "
                            + std::to_string(first->second->line)
                            + (adds ? " : leurs poids s'ajoutent"
                                    : " : chacun doit être satisfait"));
                }
            }
        }
    }

    void predicates()
    {
        const Severity severity = options_.strict ? Severity::Error : Severity::Warning;
        parsed_.resize(net_.transitionCount());
        hasParse_.assign(net_.transitionCount(), false);
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            if (t->predicate.empty())
                continue;
            ParseResult result = parseExpression(t->predicate);
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
                predicateNames_.push_back({std::string(use.spelling), t});
                if (!options_.strict && isReservedWord(use.spelling))
                    say(Severity::Warning, t->line, t->predicateColumn + int(use.offset),
                        quoted(use.spelling)
                            + " est un mot réservé du ST : le programme ne compilera pas tel "
                              "quel (le programme complet et PLCopen XML le renomment)");
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
                if (options_.strict && node.kind == ExprKind::Plus)
                    say(Severity::Error, t->line, column,
                        "le « + » unaire n'est pas du ST que les compilateurs acceptent : "
                        "l'enlever");
            }
            parsed_[t->index] = std::move(result.expr);
            hasParse_[t->index] = true;
        }
    }

    void unwrittenTexts()
    {
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            if (t->actionText.find_first_not_of(' ') != std::string::npos)
                say(Severity::Warning, t->line, t->actionColumn,
                    "action " + quoted(t->actionText) + " de la transition " + quoted(t->name)
                        + " non écrite : le programme ne porte que le prédicat");
        }
        for (const Place *p = net_.firstPlace(); p; p = p->next) {
            if (!p->actions || !p->actions->next)
                continue;
            std::string dropped;
            for (const ActionNode *a = p->actions->next; a; a = a->next)
                dropped = quoted(a->text) + (dropped.empty() ? "" : ", ") + dropped;
            say(Severity::Warning, p->line, p->labelColumn,
                "étiquette de la place " + quoted(p->name) + " : seul " + quoted(p->actions->text)
                    + ", après la dernière virgule, nomme des sorties ; " + dropped
                    + " n'est pas écrit");
        }
    }

    void transitionsWithoutInputs()
    {
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            if (t->inputs)
                continue;
            std::string message = "la transition " + quoted(t->name)
                + " n'a aucun arc d'entrée : elle tire à chaque cycle où son prédicat est vrai";
            if (t->outputs)
                message += ", et ses places de sortie croissent sans limite jusqu'au débordement";
            say(Severity::Warning, t->line, 0, message);
        }
    }

    bool exclusive(const Transition &a, const Transition &b) const
    {
        if (!hasParse_[a.index] || !hasParse_[b.index])
            return false;
        return provablyExclusive(parsed_[a.index], parsed_[b.index]);
    }

    /// Places that arcs name but no place line declares.
    void undeclaredPlaces()
    {
        std::unordered_map<std::string_view, const ArcRef *> first;
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            for (const ArcRef *list : {t->inputs, t->outputs}) {
                for (const ArcRef *arc = list; arc; arc = arc->next) {
                    if (places_.count(std::string_view(arc->placeName)))
                        continue;
                    auto [it, added] = first.emplace(std::string_view(arc->placeName), arc);
                    if (!added && arc->line < it->second->line)
                        it->second = arc;
                }
            }
        }
        std::vector<const ArcRef *> arcs;
        for (const auto &entry : first)
            arcs.push_back(entry.second);
        std::sort(arcs.begin(), arcs.end(),
                  [](const ArcRef *a, const ArcRef *b) { return a->line < b->line; });
        for (const ArcRef *arc : arcs)
            say(Severity::Warning, arc->line, 0,
                "la place " + quoted(arc->placeName)
                    + ", nommée par un arc, n'est déclarée nulle part"
                    + (options_.strict
                           ? " : le programme la déclare avec un marquage nul"
                           : " : ses variables ne sont ni initialisées ni recopiées en BLOC M"));
    }

    /// Places that feed several transitions which may fire in the same cycle and that no
    /// priority orders: the program serves them in file order.
    void conflicts(const Priorities &priorities)
    {
        auto ordered = [&](const Transition *a, const Transition *b) {
            for (const Transition *higher : priorities.over(*a))
                if (higher == b)
                    return true;
            for (const Transition *higher : priorities.over(*b))
                if (higher == a)
                    return true;
            return false;
        };
        struct Feeding
        {
            const ArcRef *firstArc = nullptr;
            std::vector<const Transition *> transitions;
        };
        std::vector<std::pair<std::string_view, Feeding>> order;
        std::unordered_map<std::string_view, size_t> byPlace;
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            for (const ArcRef *arc = t->inputs; arc; arc = arc->next) {
                if (arc->kind != ArcKind::Normal || arc->weight <= 0)
                    continue;
                const auto [it, added]
                    = byPlace.emplace(std::string_view(arc->placeName), order.size());
                if (added)
                    order.push_back({arc->placeName, {}});
                Feeding &feeding = order[it->second].second;
                if (!feeding.firstArc || arc->line < feeding.firstArc->line)
                    feeding.firstArc = arc;
                if (feeding.transitions.empty() || feeding.transitions.back() != t)
                    feeding.transitions.push_back(t);
            }
        }
        constexpr size_t pairLimit = 64;
        for (const auto &[name, feeding] : order) {
            if (feeding.transitions.size() < 2)
                continue;
            std::vector<bool> involved(feeding.transitions.size(), false);
            bool any = false;
            for (size_t i = 0; i < feeding.transitions.size(); ++i)
                for (size_t j = i + 1; j < feeding.transitions.size(); ++j)
                    if (feeding.transitions.size() > pairLimit
                        || (!exclusive(*feeding.transitions[i], *feeding.transitions[j])
                            && !ordered(feeding.transitions[i], feeding.transitions[j])))
                        involved[i] = involved[j] = any = true;
            if (!any)
                continue;
            std::string names;
            for (size_t i = 0; i < feeding.transitions.size(); ++i)
                if (involved[i])
                    names += (names.empty() ? "" : ", ") + quoted(feeding.transitions[i]->name);
            const auto place = places_.find(name);
            say(Severity::Note,
                place != places_.end() ? place->second->line : feeding.firstArc->line, 0,
                "la place " + quoted(name) + " alimente " + names
                    + ", dont les prédicats ne s'excluent pas : quand plusieurs peuvent tirer, le "
                      "programme sert la première dans l'ordre du fichier");
        }
    }

    void arcsAndIntervals()
    {
        for (const Transition *t = net_.firstTransition(); t; t = t->next) {
            for (const ArcRef *arc = t->inputs; arc; arc = arc->next) {
                if (arc->kind == ArcKind::Stopwatch || arc->kind == ArcKind::StopwatchInhibitor)
                    say(Severity::Warning, arc->line, 0,
                        "arc chronomètre " + quoted(arc->placeName) + " → " + quoted(t->name)
                            + " ignoré : il ne fait que suspendre l'horloge de la transition, ce "
                              "que le programme ne fait pas");
            }
            // Only a wait is lost: no format can force a latest firing time.
            if (t->interval.earliest == 0 || options_.timed)
                continue;
            const std::string latest
                = t->interval.latest < 0 ? "w" : std::to_string(t->interval.latest);
            say(Severity::Warning, t->line, 0,
                "intervalle [" + std::to_string(t->interval.earliest) + "," + latest
                    + "] de la transition " + quoted(t->name)
                    + " ignoré : le format st n'a pas de temporisation, la transition "
                      "n'attend pas (le programme complet et PLCopen XML en ont)");
        }
    }

    /// Names that are one variable in ST, where case does not count. Each pair is reported
    /// once, where the second one is first met.
    void clashes()
    {
        struct Owner
        {
            std::string what;
            int line;
        };
        std::unordered_map<std::string, Owner> owners;
        std::set<std::pair<std::string, std::string>> reported;
        auto claim = [&](const std::string &name, std::string what, int line,
                         const char *sentence) {
            const auto [it, added] = owners.emplace(upper(name), Owner {what, line});
            if (added || it->second.what == what || !reported.emplace(what, it->second.what).second)
                return;
            std::string message = sentence;
            message.replace(message.find("%1"), 2, what);
            message.replace(message.find("%2"), 2, it->second.what);
            message.replace(message.find("%3"), 2, std::to_string(it->second.line));
            say(Severity::Warning, line, 0, message);
        };
        const char *same = "%1 et %2 (ligne %3) sont une seule variable en ST, où la casse ne "
                           "compte pas";
        for (const Place *p = net_.firstPlace(); p; p = p->next) {
            if (places_.at(std::string_view(p->name)) != p)
                continue;
            const std::string name(p->name);
            for (const char *suffix : {"p", "s"})
                claim(name + suffix,
                      "la variable " + quoted(name + suffix) + " de la place " + quoted(name),
                      p->line, same);
        }
        for (const Place *p = net_.firstPlace(); p; p = p->next)
            forEachOutputName(*p, [&](std::string_view output) {
                claim(std::string(output), "la sortie " + quoted(output), p->line, same);
            });
        for (const auto &[spelling, t] : predicateNames_)
            claim(spelling, quoted(spelling), t->line,
                  "le prédicat lit %1, qui est aussi %2 (ligne %3) : il lit la valeur du cycle "
                  "précédent");
    }

    const Net &net_;
    std::string file_;
    CheckOptions options_;
    Diagnostics &diagnostics_;
    std::unordered_map<std::string_view, const Place *> places_;
    std::unordered_map<std::string_view, const Transition *> transitions_;
    std::vector<Expr> parsed_;
    std::vector<bool> hasParse_;
    std::vector<std::pair<std::string, const Transition *>> predicateNames_;
};

} // namespace

void checkNet(const Net &net, std::string_view fileName, const CheckOptions &options,
              Diagnostics &diagnostics)
{
    Checker(net, fileName, options, diagnostics).run();
}

} // namespace trilette
