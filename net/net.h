#pragma once

#include "st/nameindex.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trilette {

/// Text of a record: a view into its net's own storage, where the reader copied it once.
using Text = std::string_view;

/// One non-empty piece of a place label, exactly as it stood between the commas.
struct ActionNode
{
    Text text;
    ActionNode *next = nullptr;
};

/// How an arc from a place acts on its transition: Tina's prefix before the weight. Arcs from a
/// transition to a place are always normal.
enum class ArcKind : uint8_t {
    /// "w": enabled while the place holds w tokens or more; firing takes them.
    Normal,
    /// "?w" (test or read arc): enabled while the place holds w tokens or more; takes none.
    Test,
    /// "?-w" (inhibitor arc): enabled while the place holds fewer than w tokens; takes none.
    Inhibitor,
    /// "!w" (stopwatch arc): only suspends the transition's clock.
    Stopwatch,
    /// "!-w" (stopwatch inhibitor arc): only suspends the transition's clock.
    StopwatchInhibitor,
};

/// One arc as seen from its transition: the place at the other end, the weight and the kind.
struct ArcRef
{
    static constexpr uint32_t noPlace = UINT32_MAX;
    Text placeName;
    int32_t weight = 0;
    /// Which place the arc names, so that the writers and the checks need no search by name:
    /// the position of the first place of that name in the place list; for a name that no place
    /// line declares, the net's place count plus the name's position among the net's
    /// undeclaredPlaces(). noPlace until the reader has read the whole file.
    uint32_t place = noPlace;
    ArcRef *next = nullptr;
    ArcKind kind = ArcKind::Normal;
    /// Line of the arc in the net file (1 for the first), 0 for an arc made in memory.
    int32_t line = 0;
};

/// A transition's time interval [eft, lft] in the net's time unit: it may fire once it has been
/// enabled for eft, and must before lft. No interval is [0, infinity).
struct TimeInterval
{
    static constexpr int32_t infinity = -1;
    int32_t earliest = 0;
    /// `infinity` for an interval without upper bound.
    int32_t latest = infinity;
    bool isDefault() const { return earliest == 0 && latest == infinity; }
};

/// One place: name, initial marking and the actions named in its label (last piece first).
struct Place
{
    Text name;
    int32_t marking = 0;
    int32_t actionCount = 0;
    ActionNode *actions = nullptr;
    Place *next = nullptr;
    /// Line of the place in the net file, and the column of its label (0 for none).
    int32_t line = 0;
    int32_t labelColumn = 0;
    /// Position in the place list, from 0.
    uint32_t index = 0;
    /// Whether no earlier place has this name.
    bool firstOfName = true;
};

/// One transition: its arcs (most recently read first), predicate and action text.
struct Transition
{
    Text name;
    int32_t inputCount = 0;
    /// Line of the transition in the net file.
    int32_t line = 0;
    ArcRef *inputs = nullptr;
    int32_t outputCount = 0;
    /// Columns where the predicate and the action text start (0 when there is no label).
    int32_t predicateColumn = 0;
    ArcRef *outputs = nullptr;
    Text actionText;
    Text predicate;
    Transition *next = nullptr;
    int32_t actionColumn = 0;
    /// Position in the transition list, from 0.
    uint32_t index = 0;
    TimeInterval interval;
    /// Column of a label that the line holds where no shape of a transition line puts it, so
    /// that the predicate could not be read (0 when the label, if any, was read).
    int32_t unreadLabelColumn = 0;
};

/// A place that arcs name but no place line declares: its name, and the line of its earliest
/// arc (which may belong to a later transition than the first arc met).
struct UndeclaredPlace
{
    Text name;
    int32_t line = 0;
};

/// An arc between two transitions: `higher` has priority over `lower`, which may not fire while
/// `higher` can.
struct PriorityArc
{
    Transition *higher = nullptr;
    Transition *lower = nullptr;
    int32_t line = 0;
    PriorityArc *next = nullptr;
};

/// An arc that the reader could not attach: none of its ends names a transition declared before
/// it.
struct DroppedArc
{
    Text source;
    Text target;
    int32_t line = 0;
    DroppedArc *next = nullptr;
};

/// The place list and the transition list of one net file, each headed by an all-empty
/// sentinel record. The net owns every record and text in a few large blocks: records never move
/// once linked and are all released at once, never recursively. A net can be moved (the records
/// stay where they are), not copied; a moved-from net may only be destroyed or assigned to.
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

    /// Copies a text into the net's storage and returns the copy.
    Text store(std::string_view text);
    /// Gives every arc the place it names (see ArcRef::place): those declared after the arc,
    /// and those that no place line declares, which it lists; the reader calls it at the end of
    /// the file.
    void resolveArcPlaces();
    /// The places that arcs name but no place line declares, in the order the arcs are met:
    /// transitions in file order, each one's inputs then its outputs, each list from its last
    /// line up as the reader prepends arcs. Where two names meet in a complete program, the
    /// first met keeps its spelling.
    const std::vector<UndeclaredPlace> &undeclaredPlaces() const { return undeclared_; }

    /// Links a new place of that name after the last one and returns it. The texts given to the
    /// records here and below are stored in the net.
    Place &appendPlace(std::string_view name);
    /// Links a new transition of that name after the last one and returns it.
    Transition &appendTransition(std::string_view name);
    /// Puts an action at the front of the place's actions.
    void prependAction(Place &place, std::string_view text);
    /// Puts an arc at the front of the transition's inputs, counts it and returns it. `place` is
    /// the first place named `placeName` (findNode gives it), or null when none is declared yet.
    ArcRef &prependInput(Transition &transition, std::string_view placeName, int32_t weight,
                         const Place *place);
    /// Puts an arc at the front of the transition's outputs, counts it and returns it.
    ArcRef &prependOutput(Transition &transition, std::string_view placeName, int32_t weight,
                          const Place *place);
    /// Records that `higher` has priority over `lower` (an arc between the two).
    void addPriority(Transition &higher, Transition &lower, int32_t line);
    /// Records an arc that could not be attached.
    void addDroppedArc(std::string_view source, std::string_view target, int32_t line);
    /// The priority arcs and the dropped arcs, in the order of their lines.
    const PriorityArc *priorities() const { return priorityHead_; }
    const DroppedArc *droppedArcs() const { return droppedHead_; }
    /// First transition in list order whose name is `name`, or null.
    const Transition *findTransition(std::string_view name) const;
    /// First place in list order whose name is `name`, or null.
    const Place *findPlace(std::string_view name) const;
    /// What a name of an arc names: the first transition and the first place of that name
    /// (either or both null), found in one search.
    struct Node
    {
        const Transition *transition = nullptr;
        const Place *place = nullptr;
    };
    Node findNode(std::string_view name) const;
    /// Frees the indexes by name, which a net being written no longer needs; the searches
    /// above then walk the lists.
    void releaseIndexes();
    /// The transition and the place at a position of their lists (from 0).
    const Transition &transition(size_t index) const;
    Transition &transition(size_t index);
    const Place &place(size_t index) const;

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
    /// Arcs made before a place of their name was declared.
    size_t unresolvedArcs_ = 0;
    std::vector<UndeclaredPlace> undeclared_;
    PriorityArc *priorityHead_ = nullptr;
    PriorityArc *priorityTail_ = nullptr;
    DroppedArc *droppedHead_ = nullptr;
    DroppedArc *droppedTail_ = nullptr;
    /// First transition and first place of each name (later duplicates never replace them),
    /// in one index: a place's id is twice its position, a transition's twice its position plus
    /// one, so that one search of a name finds both.
    NameIndex<> nodeIndex_;
    bool indexed_ = true;

    Text nodeName(uint32_t id) const;
    ArcRef &prependArc(ArcRef *&head, int32_t &count, std::string_view placeName, int32_t weight,
                       const Place *place);
};

/// The outputs that a place names: the runs of characters other than ';' in the text of its first
/// action (the last non-empty piece of its label), in text order; blanks belong to the names.
template<typename Visit> void forEachOutputName(const Place &place, Visit visit)
{
    if (!place.actions)
        return;
    const std::string_view text = place.actions->text;
    for (size_t start = 0; start <= text.size();) {
        const size_t end = std::min(text.find(';', start), text.size());
        if (end > start)
            visit(text.substr(start, end - start));
        start = end + 1;
    }
}

/// Tina's prefix of an arc's kind before its weight: none for a normal arc, "?" test, "?-"
/// inhibitor, "!" and "!-" stopwatch.
const char *arcPrefix(ArcKind kind);

} // namespace trilette
