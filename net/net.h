#pragma once

#include "net/nameindex.h"

#include <cstdint>
#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>

namespace trilette {

/// Text of a record, allocated from its net's arena.
using Text = std::pmr::string;
using Arena = std::pmr::memory_resource;

/// One non-empty piece of a place label, exactly as it stood between the commas.
struct ActionNode
{
    explicit ActionNode(Arena *arena = std::pmr::get_default_resource())
        : text(arena)
    { }
    Text text;
    ActionNode *next = nullptr;
};

/// One arc as seen from its transition: the place at the other end and the weight.
struct ArcRef
{
    explicit ArcRef(Arena *arena = std::pmr::get_default_resource())
        : placeName(arena)
    { }
    Text placeName;
    int32_t weight = 0;
    ArcRef *next = nullptr;
};

/// One place: name, initial marking and the actions named in its label (last piece first).
struct Place
{
    explicit Place(Arena *arena = std::pmr::get_default_resource())
        : name(arena)
    { }
    Text name;
    int32_t marking = 0;
    int32_t actionCount = 0;
    ActionNode *actions = nullptr;
    Place *next = nullptr;
};

/// One transition: its arcs (most recently read first), predicate and action text.
struct Transition
{
    explicit Transition(Arena *arena = std::pmr::get_default_resource())
        : name(arena)
        , actionText(arena)
        , predicate(arena)
    { }
    Text name;
    int32_t inputCount = 0;
    ArcRef *inputs = nullptr;
    int32_t outputCount = 0;
    ArcRef *outputs = nullptr;
    Text actionText;
    Text predicate;
    Transition *next = nullptr;
};

/// The place list and the transition list of one net file, each headed by an all-empty
/// sentinel record. The net owns every record and text in one arena: records never move once
/// linked and are all released at once, never recursively. A net can be moved (the records stay
/// where they are), not copied; a moved-from net may only be destroyed or assigned to.
class Net
{
public:
    Net();
    ~Net();
    Net(Net &&) noexcept;
    Net &operator=(Net &&) noexcept;
    Net(const Net &) = delete;
    Net &operator=(const Net &) = delete;

    /// Sentinel heads; the real records follow them through `next`.
    Place *placeHead() { return placeHead_; }
    Transition *transitionHead() { return transitionHead_; }
    const Place *placeHead() const { return placeHead_; }
    const Transition *transitionHead() const { return transitionHead_; }

    /// First real records, or null for an empty list.
    const Place *firstPlace() const { return placeHead_->next; }
    const Transition *firstTransition() const { return transitionHead_->next; }

    /// Links a new place of that name after the last one and returns it.
    Place &appendPlace(std::string_view name);
    /// Links a new transition of that name after the last one and returns it.
    Transition &appendTransition(std::string_view name);
    /// Puts an action at the front of the place's actions.
    void prependAction(Place &place, std::string_view text);
    /// Puts an arc at the front of the transition's inputs and counts it.
    void prependInput(Transition &transition, std::string_view placeName, int32_t weight);
    /// Puts an arc at the front of the transition's outputs and counts it.
    void prependOutput(Transition &transition, std::string_view placeName, int32_t weight);
    /// First transition in list order whose name is `name`, or null.
    Transition *findTransition(std::string_view name) const;

    size_t placeCount() const { return placeCount_; }
    size_t transitionCount() const { return transitionCount_; }

private:
    /// The arena and the record stores, kept behind a pointer so that moving a net moves no
    /// record.
    struct Storage;
    std::unique_ptr<Storage> storage_;
    Place *placeHead_;
    Transition *transitionHead_;
    Place *placeTail_;
    Transition *transitionTail_;
    size_t placeCount_ = 0;
    size_t transitionCount_ = 0;
    /// First transition of each name; later duplicates never replace it.
    NameIndex<Transition *> transitionIndex_;

    void prependArc(ArcRef *&head, int32_t &count, std::string_view placeName, int32_t weight);
};

/// Compact one-line-per-record text form of a net, for tests and debugging.
std::string dumpNet(const Net &net);

} // namespace trilette
