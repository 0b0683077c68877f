#include "codegen/structurelog.h"

#include <cstdint>
#include <vector>

namespace trilette {

void writeStructureLog(const Net &net, TextSink &out)
{
    const Place *places = net.firstPlace();
    const Transition *transitions = net.firstTransition();
    out.put("\n\n visalisation de la SD creee\n");
    out.put("Les places --\n");
    for (const Place *place = places; place; place = place->next) {
        out.format(" Place [%.*s]\n\t M0= [%d]\n", int(place->name.size()), place->name.data(),
                   place->marking);
        if (place->actions) {
            out.put("\tActions: ");
            for (const ActionNode *action = place->actions; action; action = action->next)
                out.format("[%.*s] ", int(action->text.size()), action->text.data());
        } else {
            out.put("\tActions: pas d'action ");
        }
        const Text next = place->next ? place->next->name : Text("(null)");
        out.format("\n\tsuivant [%.*s]\n\n", int(next.size()), next.data());
    }
    out.put("Les transitions --\n");
    // The priority arcs by their higher transition, in the order of their lines within each
    // (a counting sort), so that each transition finds its own at once.
    std::vector<uint32_t> start(net.transitionCount() + 1, 0);
    for (const PriorityArc *arc = net.priorities(); arc; arc = arc->next)
        ++start[arc->higher->index + 1];
    for (size_t i = 1; i < start.size(); ++i)
        start[i] += start[i - 1];
    std::vector<const Transition *> lowerByHigher(start.back());
    for (const PriorityArc *arc = net.priorities(); arc; arc = arc->next)
        lowerByHigher[start[arc->higher->index]++] = arc->lower;
    for (const Transition *t = transitions; t; t = t->next) {
        out.format(" transition [%.*s]\n \t Predicat [%.*s]\n\t Actions [%.*s]\n",
                   int(t->name.size()), t->name.data(), int(t->predicate.size()),
                   t->predicate.data(), int(t->actionText.size()), t->actionText.data());
        // Arcs other than normal ones carry Tina's prefix before their weight.
        out.put("\t Structure : [ ");
        for (const ArcRef *arc = t->inputs; arc; arc = arc->next)
            out.format("%s%d*%.*s ", arcPrefix(arc->kind), arc->weight, int(arc->placeName.size()),
                       arc->placeName.data());
        out.put(" -> ");
        for (const ArcRef *arc = t->outputs; arc; arc = arc->next)
            out.format("%d*%.*s ", arc->weight, int(arc->placeName.size()), arc->placeName.data());
        out.put("]\n");
        if (!t->interval.isDefault()) {
            out.format("\t Intervalle : [%d,", t->interval.earliest);
            if (t->interval.latest == TimeInterval::infinity)
                out.put("w]\n");
            else
                out.format("%d]\n", t->interval.latest);
        }
        bool first = true;
        // `start` now holds where the arcs of the next transition begin.
        for (uint32_t i = t->index == 0 ? 0 : start[t->index - 1]; i < start[t->index]; ++i) {
            const Transition *lower = lowerByHigher[i];
            out.put(first ? "\t Priorite sur : [ " : "");
            out.format("%.*s ", int(lower->name.size()), lower->name.data());
            first = false;
        }
        if (!first)
            out.put("]\n");
    }
}

} // namespace trilette
