#pragma once

#include "net/net.h"
#include "st/words.h"
#include "tests/support/evaluate.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace trilette {

/// Tina's meaning of a net, cycle by cycle, as a PLC runs it: the reference that the programs
/// Trilette writes are checked against, written from the net alone, independently of the
/// writers (the priorities too: their closure is worked out here from the arcs). In each cycle
/// (scan) the transitions are visited in file order and each one fires when it can at its turn:
/// its arcs are satisfied in the marking at the start of the cycle and in the current one
/// (M >= w for normal and test arcs, M < w for inhibitor arcs; stopwatch arcs are ignored), its
/// predicate holds, its clock has run out, and no transition of higher priority can fire at that
/// moment (arcs satisfied in the current marking, predicate true, clock run out). A firing takes
/// the weights of its normal input arcs and gives those of its output arcs. Clocks: a transition
/// with a time interval [eft, lft], eft > 0, starts its clock at the first cycle that finds it
/// enabled by the marking at the cycle's start; the clock reads "run out" from the cycle that
/// starts eft or more after that; it stops when the transition fires, when a firing leaves it
/// disabled, or when a cycle starts with it disabled. Each firing is also checked against Tina's
/// rule itself (enabled in the marking of that moment, no higher transition able to fire,
/// continuously enabled for eft since it last became enabled); what fails is a violation.
class Simulator
{
public:
    /// `unitMs`: milliseconds in one time unit of the net's intervals.
    Simulator(const Net &net, int64_t unitMs);

    /// The marking variables: the distinct place names, declared ones first, then those that
    /// only arcs name.
    const std::vector<std::string> &places() const { return placeNames_; }
    /// The outputs, in the order of BLOC G.
    const std::vector<std::string> &outputs() const { return outputNames_; }

    /// Gives an input the value it has from now on; names are compared without case.
    void setInput(std::string_view name, Value value) { inputs_[upperCase(name)] = value; }
    /// Runs one cycle at time `nowMs` (never decreasing). With `init`, the net starts again from
    /// its initial marking, clocks stopped, and nothing else happens.
    void scan(int64_t nowMs, bool init);

    /// The marking of each place, then the value of each output, at the end of the last cycle.
    std::vector<int64_t> values() const;
    /// The transitions fired in the last cycle, in order.
    const std::vector<const Transition *> &fired() const { return fired_; }
    /// Firings that broke Tina's rule, and markings that went negative, in words.
    const std::vector<std::string> &violations() const { return violations_; }

private:
    struct Arc
    {
        size_t place;
        ArcKind kind;
        int32_t weight;
    };
    struct Node
    {
        const Transition *transition;
        std::vector<Arc> inputs, outputs;
        Expr predicate;
        int64_t earliestMs = 0;
        std::vector<size_t> higher; ///< every transition above this one
        // The clock as the program keeps it, and since when the transition has been enabled
        // without interruption, as Tina has it.
        bool running = false, enabled = false;
        int64_t startMs = 0, enabledSinceMs = 0;
    };

    size_t placeIndex(std::string_view name);
    bool arcsHold(const Node &node, const std::vector<int32_t> &marking) const;
    bool predicateHolds(const Node &node) const;
    void fire(Node &node, int64_t nowMs);

    std::vector<Node> nodes_;
    std::vector<std::string> placeNames_, outputNames_;
    std::unordered_map<std::string, size_t> placeByName_;
    std::vector<int32_t> initial_, p_, s_;
    /// For each output, the places that name it (a place once per naming).
    std::vector<std::vector<size_t>> outputPlaces_;
    std::vector<bool> outputValues_;
    std::unordered_map<std::string, Value> inputs_;
    /// Upper-case names that predicates may read besides inputs: 'o' an output, 'p' or 's' a
    /// marking variable, with its index.
    std::unordered_map<std::string, std::pair<char, size_t>> variables_;
    std::vector<const Transition *> fired_;
    std::vector<std::string> violations_;
    bool started_ = false;
};

} // namespace trilette
