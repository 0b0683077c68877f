#include "codegen/structurelog.h"

namespace trilette {

void writeStructureLog(const Net &net, TextSink &out)
{
    const Place *places = net.firstPlace();
    const Transition *transitions = net.firstTransition();
    out.put("\n\n visalisation de la SD creee\n");
    out.put("Les places --\n");
    for (const Place *place = places; place; place = place->next) {
        out.format(" Place [%s]\n\t M0= [%d]\n", place->name.c_str(), place->marking);
        if (place->actions) {
            out.put("\tActions: ");
            for (const ActionNode *action = place->actions; action; action = action->next)
                out.format("[%s] ", action->text.c_str());
        } else {
            out.put("\tActions: pas d'action ");
        }
        out.format("\n\tsuivant [%s]\n\n", place->next ? place->next->name.c_str() : "(null)");
    }
    out.put("Les transitions --\n");
    for (const Transition *t = transitions; t; t = t->next) {
        out.format(" transition [%s]\n \t Predicat [%s]\n\t Actions [%s]\n", t->name.c_str(),
                   t->predicate.c_str(), t->actionText.c_str());
        // Arcs other than normal ones carry Tina's prefix before their weight: ?2 test, ?-1
        // inhibitor, !1 and !-1 stopwatch.
        static const char *const prefixes[] = {"", "?", "?-", "!", "!-"};
        out.put("\t Structure : [ ");
        for (const ArcRef *arc = t->inputs; arc; arc = arc->next)
            out.format("%s%d*%s ", prefixes[int(arc->kind)], arc->weight, arc->placeName.c_str());
        out.put(" -> ");
        for (const ArcRef *arc = t->outputs; arc; arc = arc->next)
            out.format("%d*%s ", arc->weight, arc->placeName.c_str());
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
            out.format("%s ", arc->lower->name.c_str());
            first = false;
        }
        if (!first)
            out.put("]\n");
    }
}

} // namespace trilette
