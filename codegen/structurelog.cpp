#include "codegen/structurelog.h"

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
    for (const Transition *t = transitions; t; t = t->next) {
        out.format(" transition [%.*s]\n \t Predicat [%.*s]\n\t Actions [%.*s]\n",
                   int(t->name.size()), t->name.data(), int(t->predicate.size()),
                   t->predicate.data(), int(t->actionText.size()), t->actionText.data());
        // Arcs other than normal ones carry Tina's prefix before their weight: ?2 test, ?-1
        // inhibitor, !1 and !-1 stopwatch.
        static const char *const prefixes[] = {"", "?", "?-", "!", "!-"};
        out.put("\t Structure : [ ");
        for (const ArcRef *arc = t->inputs; arc; arc = arc->next)
            out.format("%s%d*%.*s ", prefixes[int(arc->kind)], arc->weight,
                       int(arc->placeName.size()), arc->placeName.data());
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
        for (const PriorityArc *arc = net.priorities(); arc; arc = arc->next) {
            if (arc->higher != t)
                continue;
            out.put(first ? "\t Priorite sur : [ " : "");
            out.format("%.*s ", int(arc->lower->name.size()), arc->lower->name.data());
            first = false;
        }
        if (!first)
            out.put("]\n");
    }
}

} // namespace trilette
