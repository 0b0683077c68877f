#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace trilette {

/// One non-empty piece of a place label, exactly as it stood between the commas.
struct ActionNode
{
    std::string text;
    ActionNode *next = nullptr;
};

/// One arc as seen from its transition: the place at the other end and the weight.
struct ArcRef
{
    std::string placeName;
    int32_t weight = 0;
    ArcRef *next = nullptr;
};

/// One place: name, initial marking and the actions named in its label (last piece first).
struct Place
{
    std::string name;
    int32_t marking = 0;
    int32_t actionCount = 0;
    ActionNode *actions = nullptr;
    Place *next = nullptr;
};

/// One transition: its arcs (most recently read first), predicate and action text.
struct Transition
{
    std::string name;
    int32_t inputCount = 0;
    ArcRef *inputs = nullptr;
    int32_t outputCount = 0;
    ArcRef *outputs = nullptr;
    std::string actionText;
    std::string predicate;
    Transition *next = nullptr;
};

/// The place list and the transition list of one net file, each headed by an all-empty
/// sentinel record. The net owns every record; records never move once linked, are released
/// in a loop (never recursively) and the net itself is move-only.
class Net
{
public:
    Net();
    Net(Net &&) noexcept = default;
    Net &operator=(Net &&) noexcept = default;
    Net(const Net &) = delete;
    Net &operator=(const Net &) = delete;

    /// Sentinel heads; the real records follow them through `next`.
    Place *placeHead() { return &placeStore_.front(); }
    Transition *transitionHead() { return &transitionStore_.front(); }
    const Place *placeHead() const { return &placeStore_.front(); }
    const Transition *transitionHead() const { return &transitionStore_.front(); }

    /// First real records, or null for an empty list.
    const Place *firstPlace() const { return placeHead()->next; }
    const Transition *firstTransition() const { return transitionHead()->next; }

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

    size_t placeCount() const { return placeStore_.size() - 1; }
    size_t transitionCount() const { return transitionStore_.size() - 1; }

private:
    std::deque<Place> placeStore_;
    std::deque<Transition> transitionStore_;
    std::deque<ArcRef> arcStore_;
    std::deque<ActionNode> actionStore_;
    Place *placeTail_;
    Transition *transitionTail_;
    /// First transition of each name, in an open-addressing table (a power of two in size, at
    /// most half full); later duplicates never replace it.
    struct IndexSlot
    {
        size_t hash = 0;
        Transition *transition = nullptr;
    };
    std::vector<IndexSlot> transitionIndex_;
    size_t indexedCount_ = 0;
    void indexTransition(Transition &transition);
};

/// Compact one-line-per-record text form of a net, for tests and debugging.
std::string dumpNet(const Net &net);

} // namespace trilette
