#include "net/net.h"

#include <deque>

namespace trilette {

struct Net::Storage
{
    std::pmr::monotonic_buffer_resource arena {1 << 16};
    std::pmr::deque<Place> places {&arena};
    std::pmr::deque<Transition> transitions {&arena};
    std::pmr::deque<ArcRef> arcs {&arena};
    std::pmr::deque<ActionNode> actions {&arena};
};

Net::Net()
    : storage_(std::make_unique<Storage>())
{
    placeHead_ = placeTail_ = &storage_->places.emplace_back(&storage_->arena);
    transitionHead_ = transitionTail_ = &storage_->transitions.emplace_back(&storage_->arena);
}

Net::~Net() = default;
Net::Net(Net &&) noexcept = default;
Net &Net::operator=(Net &&) noexcept = default;

Place &Net::appendPlace(std::string_view name)
{
    Place &place = storage_->places.emplace_back(&storage_->arena);
    ++placeCount_;
    place.name.assign(name);
    placeTail_->next = &place;
    placeTail_ = &place;
    return place;
}

Transition &Net::appendTransition(std::string_view name)
{
    Transition &transition = storage_->transitions.emplace_back(&storage_->arena);
    ++transitionCount_;
    transition.name.assign(name);
    if (!transition.name.empty())
        transitionIndex_.insert(transition.name, &transition);
    transitionTail_->next = &transition;
    transitionTail_ = &transition;
    return transition;
}

void Net::prependAction(Place &place, std::string_view text)
{
    ActionNode &node = storage_->actions.emplace_back(&storage_->arena);
    node.text.assign(text);
    node.next = place.actions;
    place.actions = &node;
}

void Net::prependArc(ArcRef *&head, int32_t &count, std::string_view placeName, int32_t weight)
{
    ArcRef &arc = storage_->arcs.emplace_back(&storage_->arena);
    arc.placeName.assign(placeName);
    arc.weight = weight;
    arc.next = head;
    head = &arc;
    ++count;
}

void Net::prependInput(Transition &transition, std::string_view placeName, int32_t weight)
{
    prependArc(transition.inputs, transition.inputCount, placeName, weight);
}

void Net::prependOutput(Transition &transition, std::string_view placeName, int32_t weight)
{
    prependArc(transition.outputs, transition.outputCount, placeName, weight);
}

Transition *Net::findTransition(std::string_view name) const
{
    return name.empty() ? nullptr : transitionIndex_.find(name, nullptr);
}

namespace {

void dumpArcs(std::string &out, int32_t count, const ArcRef *arc)
{
    out.append(std::to_string(count)).append("[");
    for (; arc; arc = arc->next) {
        out.append(std::to_string(arc->weight)).append("*").append(arc->placeName);
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
        out.append("P ").append(place->name).append(" m=").append(std::to_string(place->marking));
        out.append(" n=").append(std::to_string(place->actionCount)).append(" a=[");
        for (const ActionNode *action = place->actions; action; action = action->next) {
            out.append(action->text);
            if (action->next)
                out += '|';
        }
        out += "]\n";
    }
    for (const Transition *t = net.firstTransition(); t; t = t->next) {
        out.append("T ").append(t->name).append(" p=[").append(t->predicate);
        out.append("] a=[").append(t->actionText).append("] in=");
        dumpArcs(out, t->inputCount, t->inputs);
        out += " out=";
        dumpArcs(out, t->outputCount, t->outputs);
        out += '\n';
    }
    return out;
}

} // namespace trilette
