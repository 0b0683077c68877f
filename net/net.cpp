#include "net.h"

#include <algorithm>
#include <functional>

namespace trilette {

Net::Net()
{
    placeStore_.emplace_back();
    transitionStore_.emplace_back();
    placeTail_ = &placeStore_.back();
    transitionTail_ = &transitionStore_.back();
}

Place &Net::appendPlace(std::string_view name)
{
    Place &place = placeStore_.emplace_back();
    place.name.assign(name);
    placeTail_->next = &place;
    placeTail_ = &place;
    return place;
}

Transition &Net::appendTransition(std::string_view name)
{
    Transition &transition = transitionStore_.emplace_back();
    transition.name.assign(name);
    if (!transition.name.empty())
        indexTransition(transition);
    transitionTail_->next = &transition;
    transitionTail_ = &transition;
    return transition;
}

void Net::prependAction(Place &place, std::string_view text)
{
    ActionNode &node = actionStore_.emplace_back();
    node.text.assign(text);
    node.next = place.actions;
    place.actions = &node;
}

void Net::prependInput(Transition &transition, std::string_view placeName, int32_t weight)
{
    ArcRef &arc = arcStore_.emplace_back();
    arc.placeName.assign(placeName);
    arc.weight = weight;
    arc.next = transition.inputs;
    transition.inputs = &arc;
    ++transition.inputCount;
}

void Net::prependOutput(Transition &transition, std::string_view placeName, int32_t weight)
{
    ArcRef &arc = arcStore_.emplace_back();
    arc.placeName.assign(placeName);
    arc.weight = weight;
    arc.next = transition.outputs;
    transition.outputs = &arc;
    ++transition.outputCount;
}

void Net::indexTransition(Transition &transition)
{
    if (2 * (indexedCount_ + 1) > transitionIndex_.size()) {
        std::vector<IndexSlot> old(std::max<size_t>(64, 2 * transitionIndex_.size()));
        old.swap(transitionIndex_);
        const size_t mask = transitionIndex_.size() - 1;
        for (const IndexSlot &slot : old) {
            if (!slot.transition)
                continue;
            size_t i = slot.hash & mask;
            while (transitionIndex_[i].transition)
                i = (i + 1) & mask;
            transitionIndex_[i] = slot;
        }
    }
    const size_t hash = std::hash<std::string_view>()(transition.name);
    const size_t mask = transitionIndex_.size() - 1;
    size_t i = hash & mask;
    for (; transitionIndex_[i].transition; i = (i + 1) & mask) {
        const IndexSlot &slot = transitionIndex_[i];
        if (slot.hash == hash && slot.transition->name == transition.name)
            return;
    }
    transitionIndex_[i] = {hash, &transition};
    ++indexedCount_;
}

Transition *Net::findTransition(std::string_view name) const
{
    if (name.empty() || transitionIndex_.empty())
        return nullptr;
    const size_t hash = std::hash<std::string_view>()(name);
    const size_t mask = transitionIndex_.size() - 1;
    for (size_t i = hash & mask; transitionIndex_[i].transition; i = (i + 1) & mask) {
        const IndexSlot &slot = transitionIndex_[i];
        if (slot.hash == hash && slot.transition->name == name)
            return slot.transition;
    }
    return nullptr;
}

namespace {

void dumpArcs(std::string &out, int32_t count, const ArcRef *arc)
{
    out += std::to_string(count);
    out += '[';
    for (; arc; arc = arc->next) {
        out += std::to_string(arc->weight);
        out += '*';
        out += arc->placeName;
        if (arc->next)
            out += ' ';
    }
    out += ']';
}

} // namespace

std::string dumpNet(const Net &net)
{
    std::string out;
    for (const Place *place = net.firstPlace(); place; place = place->next) {
        out += "P " + place->name + " m=" + std::to_string(place->marking)
            + " n=" + std::to_string(place->actionCount) + " a=[";
        for (const ActionNode *action = place->actions; action; action = action->next) {
            out += action->text;
            if (action->next)
                out += '|';
        }
        out += "]\n";
    }
    for (const Transition *t = net.firstTransition(); t; t = t->next) {
        out += "T " + t->name + " p=[" + t->predicate + "] a=[" + t->actionText + "] in=";
        dumpArcs(out, t->inputCount, t->inputs);
        out += " out=";
        dumpArcs(out, t->outputCount, t->outputs);
        out += '\n';
    }
    return out;
}

} // namespace trilette
