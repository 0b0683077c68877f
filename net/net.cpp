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
    std::pmr::deque<PriorityArc> priorities {&arena};
    std::pmr::deque<DroppedArc> dropped {&arena};
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
    place.index = uint32_t(placeCount_++);
    place.name.assign(name);
    placeTail_->next = &place;
    placeTail_ = &place;
    return place;
}

Transition &Net::appendTransition(std::string_view name)
{
    Transition &transition = storage_->transitions.emplace_back(&storage_->arena);
    transition.index = uint32_t(transitionCount_++);
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

ArcRef &Net::prependArc(ArcRef *&head, int32_t &count, std::string_view placeName, int32_t weight)
{
    ArcRef &arc = storage_->arcs.emplace_back(&storage_->arena);
    arc.placeName.assign(placeName);
    arc.weight = weight;
    arc.next = head;
    head = &arc;
    ++count;
    return arc;
}

ArcRef &Net::prependInput(Transition &transition, std::string_view placeName, int32_t weight)
{
    return prependArc(transition.inputs, transition.inputCount, placeName, weight);
}

ArcRef &Net::prependOutput(Transition &transition, std::string_view placeName, int32_t weight)
{
    return prependArc(transition.outputs, transition.outputCount, placeName, weight);
}

void Net::addPriority(Transition &higher, Transition &lower, int32_t line)
{
    PriorityArc &arc = storage_->priorities.emplace_back();
    arc.higher = &higher;
    arc.lower = &lower;
    arc.line = line;
    (priorityTail_ ? priorityTail_->next : priorityHead_) = &arc;
    priorityTail_ = &arc;
}

void Net::addDroppedArc(std::string_view source, std::string_view target, int32_t line)
{
    DroppedArc &arc = storage_->dropped.emplace_back(&storage_->arena);
    arc.source.assign(source);
    arc.target.assign(target);
    arc.line = line;
    (droppedTail_ ? droppedTail_->next : droppedHead_) = &arc;
    droppedTail_ = &arc;
}

Transition *Net::findTransition(std::string_view name) const
{
    return name.empty() ? nullptr : transitionIndex_.find(name, nullptr);
}

namespace {

void dumpArcs(std::string &out, int32_t count, const ArcRef *arc)
{
    static const char *const prefixes[] = {"", "?", "?-", "!", "!-"};
    out.append(std::to_string(count)).append("[");
    for (; arc; arc = arc->next) {
        out.append(prefixes[int(arc->kind)]).append(std::to_string(arc->weight));
        out.append("*").append(arc->placeName);
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
        if (!t->interval.isDefault()) {
            out.append(" i=[").append(std::to_string(t->interval.earliest)).append(",");
            out.append(t->interval.latest < 0 ? "w" : std::to_string(t->interval.latest)) += ']';
        }
        out += '\n';
    }
    for (const PriorityArc *arc = net.priorities(); arc; arc = arc->next)
        out.append("R ").append(arc->higher->name).append(">").append(arc->lower->name) += '\n';
    for (const DroppedArc *arc = net.droppedArcs(); arc; arc = arc->next)
        out.append("D ").append(arc->source).append(">").append(arc->target) += '\n';
    return out;
}

} // namespace trilette
