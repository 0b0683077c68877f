#include "codegen/structurelog.h"

namespace trilette {

void writeStructureLog(const Place *places, const Transition *transitions, TextSink &out)
{
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
        out.put("\t Structure : [ ");
        for (const ArcRef *arc = t->inputs; arc; arc = arc->next)
            out.format("%d*%s ", arc->weight, arc->placeName.c_str());
        out.put(" -> ");
        for (const ArcRef *arc = t->outputs; arc; arc = arc->next)
            out.format("%d*%s ", arc->weight, arc->placeName.c_str());
        out.put("]\n");
    }
}

} // namespace trilette
