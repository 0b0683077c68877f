#pragma once

#include "net/net.h"

#include <string>

namespace trilette {

/// Compact one-line-per-record text form of a net, for tests and debugging: places, transitions,
/// then priority arcs ("R higher>lower") and dropped arcs ("D source>target").
inline std::string dumpNet(const Net &net)
{
    std::string out;
    auto arcs = [&out](int32_t count, const ArcRef *arc) {
        out.append(std::to_string(count)) += '[';
        for (; arc; arc = arc->next)
            out.append(arcPrefix(arc->kind))
                .append(std::to_string(arc->weight))
                .append("*")
                .append(arc->placeName)
                .append(arc->next ? " " : "");
        out += ']';
    };
    for (const Place *place = net.firstPlace(); place; place = place->next) {
        out.append("P ").append(place->name).append(" m=").append(std::to_string(place->marking));
        out.append(" n=").append(std::to_string(place->actionCount)).append(" a=[");
        for (const ActionNode *action = place->actions; action; action = action->next)
            out.append(action->text).append(action->next ? "|" : "");
        out += "]\n";
    }
    for (const Transition *t = net.firstTransition(); t; t = t->next) {
        out.append("T ").append(t->name).append(" p=[").append(t->predicate);
        out.append("] a=[").append(t->actionText).append("] in=");
        arcs(t->inputCount, t->inputs);
        out += " out=";
        arcs(t->outputCount, t->outputs);
        if (!t->interval.isDefault())
            out.append(" i=[")
                .append(std::to_string(t->interval.earliest))
                .append(",")
                .append(t->interval.latest < 0 ? "w" : std::to_string(t->interval.latest))
                += ']';
        if (t->unreadLabelColumn)
            out.append(" unread=").append(std::to_string(t->unreadLabelColumn));
        out += '\n';
    }
    for (const PriorityArc *arc = net.priorities(); arc; arc = arc->next)
        out.append("R ").append(arc->higher->name).append(">").append(arc->lower->name) += '\n';
    for (const DroppedArc *arc = net.droppedArcs(); arc; arc = arc->next)
        out.append("D ").append(arc->source).append(">").append(arc->target) += '\n';
    return out;
}

} // namespace trilette
