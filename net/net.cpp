#include "net/net.h"

#include <cstring>
#include <memory>
#include <vector>

namespace trilette {

namespace {

/// Records of one kind in blocks that never move: a record's address holds for the net's life.
template<typename Record> class RecordPool
{
public:
    Record &add()
    {
        if (used_ == blockSize || blocks_.empty()) {
            blocks_.push_back(std::make_unique<Record[]>(blockSize));
            used_ = 0;
        }
        ++size_;
        return blocks_.back()[used_++];
    }
    Record &operator[](size_t index) { return blocks_[index / blockSize][index % blockSize]; }
    const Record &operator[](size_t index) const
    {
        return blocks_[index / blockSize][index % blockSize];
    }

private:
    static constexpr size_t blockSize = 4096;
    std::vector<std::unique_ptr<Record[]>> blocks_;
    size_t used_ = 0;
    size_t size_ = 0;
};

/// Texts copied end to end into large blocks, never zero-filled.
class TextArena
{
public:
    std::string_view store(std::string_view text)
    {
        if (text.empty())
            return std::string_view();
        if (text.size() > free_) {
            const size_t size = std::max(text.size(), blockSize);
            blocks_.push_back(std::unique_ptr<char[]>(new char[size]));
            next_ = blocks_.back().get();
            free_ = size;
        }
        char *copy = next_;
        std::memcpy(copy, text.data(), text.size());
        next_ += text.size();
        free_ -= text.size();
        return std::string_view(copy, text.size());
    }

private:
    static constexpr size_t blockSize = size_t(1) << 20;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char *next_ = nullptr;
    size_t free_ = 0;
};

} // namespace

struct Net::Storage
{
    TextArena texts;
    RecordPool<Place> places;
    RecordPool<Transition> transitions;
    RecordPool<ArcRef> arcs;
    RecordPool<ActionNode> actions;
    RecordPool<PriorityArc> priorities;
    RecordPool<DroppedArc> dropped;
};

Net::Net()
    : storage_(std::make_unique<Storage>())
{
    placeHead_ = placeTail_ = &storage_->places.add();
    transitionHead_ = transitionTail_ = &storage_->transitions.add();
}

Net::~Net() = default;
Net::Net(Net &&) noexcept = default;
Net &Net::operator=(Net &&) noexcept = default;

Text Net::store(std::string_view text)
{
    return storage_->texts.store(text);
}

void Net::resolveArcPlaces()
{
    if (unresolvedArcs_ == 0)
        return;
    NameIndex<> undeclaredIndex;
    for (Transition *t = transitionHead_->next; t; t = t->next) {
        for (ArcRef *list : {t->inputs, t->outputs}) {
            for (ArcRef *arc = list; arc; arc = arc->next) {
                if (arc->place != ArcRef::noPlace)
                    continue;
                if (const Place *place = findPlace(arc->placeName)) {
                    arc->place = place->index;
                    continue;
                }
                const auto [id, added]
                    = undeclaredIndex.insert(arc->placeName, uint32_t(undeclared_.size()),
                                             [&](uint32_t i) { return undeclared_[i].name; });
                if (added)
                    undeclared_.push_back({arc->placeName, arc->line});
                undeclared_[id].line = std::min(undeclared_[id].line, arc->line);
                arc->place = uint32_t(placeCount_ + id);
            }
        }
    }
    unresolvedArcs_ = 0;
}

const Transition &Net::transition(size_t index) const
{
    return storage_->transitions[index + 1];
}

Transition &Net::transition(size_t index)
{
    return storage_->transitions[index + 1];
}

const Place &Net::place(size_t index) const
{
    return storage_->places[index + 1];
}

namespace {

bool isPlaceId(uint32_t id)
{
    return (id & 1) == 0;
}

bool isTransitionId(uint32_t id)
{
    return (id & 1) == 1;
}

} // namespace

Text Net::nodeName(uint32_t id) const
{
    return isTransitionId(id) ? transition(id >> 1).name : place(id >> 1).name;
}

Place &Net::appendPlace(std::string_view name)
{
    Place &place = storage_->places.add();
    place.index = uint32_t(placeCount_++);
    place.name = store(name);
    if (!place.name.empty())
        place.firstOfName = nodeIndex_
                                .insert(
                                    place.name, 2 * place.index,
                                    [this](uint32_t id) { return nodeName(id); }, isPlaceId)
                                .second;
    placeTail_->next = &place;
    placeTail_ = &place;
    return place;
}

Transition &Net::appendTransition(std::string_view name)
{
    Transition &transition = storage_->transitions.add();
    transition.index = uint32_t(transitionCount_++);
    transition.name = store(name);
    if (!transition.name.empty())
        nodeIndex_.insert(
            transition.name, 2 * transition.index + 1, [this](uint32_t id) { return nodeName(id); },
            isTransitionId);
    transitionTail_->next = &transition;
    transitionTail_ = &transition;
    return transition;
}

void Net::prependAction(Place &place, std::string_view text)
{
    ActionNode &node = storage_->actions.add();
    node.text = store(text);
    node.next = place.actions;
    place.actions = &node;
}

ArcRef &Net::prependArc(ArcRef *&head, int32_t &count, std::string_view placeName, int32_t weight,
                        const Place *place)
{
    ArcRef &arc = storage_->arcs.add();
    // An arc shares its place's stored name, when the place came first.
    if (place) {
        arc.placeName = place->name;
        arc.place = place->index;
    } else {
        arc.placeName = store(placeName);
        ++unresolvedArcs_;
    }
    arc.weight = weight;
    arc.next = head;
    head = &arc;
    ++count;
    return arc;
}

ArcRef &Net::prependInput(Transition &transition, std::string_view placeName, int32_t weight,
                          const Place *place)
{
    return prependArc(transition.inputs, transition.inputCount, placeName, weight, place);
}

ArcRef &Net::prependOutput(Transition &transition, std::string_view placeName, int32_t weight,
                           const Place *place)
{
    return prependArc(transition.outputs, transition.outputCount, placeName, weight, place);
}

void Net::addPriority(Transition &higher, Transition &lower, int32_t line)
{
    PriorityArc &arc = storage_->priorities.add();
    arc.higher = &higher;
    arc.lower = &lower;
    arc.line = line;
    (priorityTail_ ? priorityTail_->next : priorityHead_) = &arc;
    priorityTail_ = &arc;
}

void Net::addDroppedArc(std::string_view source, std::string_view target, int32_t line)
{
    DroppedArc &arc = storage_->dropped.add();
    arc.source = store(source);
    arc.target = store(target);
    arc.line = line;
    (droppedTail_ ? droppedTail_->next : droppedHead_) = &arc;
    droppedTail_ = &arc;
}

void Net::releaseIndexes()
{
    nodeIndex_ = NameIndex<>();
    indexed_ = false;
}

Net::Node Net::findNode(std::string_view name) const
{
    Node node;
    if (name.empty())
        return node;
    if (!indexed_) {
        for (const Transition *t = transitionHead_->next; t && !node.transition; t = t->next)
            if (t->name == name)
                node.transition = t;
        for (const Place *p = placeHead_->next; p && !node.place; p = p->next)
            if (p->name == name)
                node.place = p;
        return node;
    }
    nodeIndex_.forEach(
        name, [this](uint32_t id) { return nodeName(id); },
        [&](uint32_t id) {
            if (isTransitionId(id))
                node.transition = &transition(id >> 1);
            else
                node.place = &place(id >> 1);
            return !node.transition || !node.place;
        });
    return node;
}

const Transition *Net::findTransition(std::string_view name) const
{
    if (!indexed_ || name.empty())
        return findNode(name).transition;
    const uint32_t id = nodeIndex_.find(
        name, [this](uint32_t i) { return nodeName(i); }, isTransitionId);
    return id == NameIndex<>::none ? nullptr : &transition(id >> 1);
}

const Place *Net::findPlace(std::string_view name) const
{
    if (!indexed_ || name.empty())
        return findNode(name).place;
    const uint32_t id = nodeIndex_.find(
        name, [this](uint32_t i) { return nodeName(i); }, isPlaceId);
    return id == NameIndex<>::none ? nullptr : &place(id >> 1);
}

const char *arcPrefix(ArcKind kind)
{
    static const char *const prefixes[] = {"", "?", "?-", "!", "!-"};
    return prefixes[int(kind)];
}

} // namespace trilette
