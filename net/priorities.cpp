#include "net/priorities.h"

#include <algorithm>

namespace trilette {

namespace {

/// Strongly connected components of the graph of priority arcs (Tarjan's algorithm, with an
/// explicit stack so that a long chain cannot overflow the call stack). Returns the component
/// of each node.
std::vector<uint32_t> components(const std::vector<std::vector<uint32_t>> &edges)
{
    const uint32_t none = UINT32_MAX;
    const size_t n = edges.size();
    std::vector<uint32_t> order(n, none), low(n, 0), component(n, none), stack;
    std::vector<bool> onStack(n, false);
    struct Frame
    {
        uint32_t node;
        size_t edge;
    };
    std::vector<Frame> calls;
    uint32_t counter = 0, found = 0;
    for (uint32_t start = 0; start < n; ++start) {
        if (order[start] != none)
            continue;
        calls.push_back({start, 0});
        order[start] = low[start] = counter++;
        stack.push_back(start);
        onStack[start] = true;
        while (!calls.empty()) {
            Frame &frame = calls.back();
            const uint32_t node = frame.node;
            if (frame.edge < edges[node].size()) {
                const uint32_t next = edges[node][frame.edge++];
                if (order[next] == none) {
                    order[next] = low[next] = counter++;
                    stack.push_back(next);
                    onStack[next] = true;
                    calls.push_back({next, 0});
                } else if (onStack[next]) {
                    low[node] = std::min(low[node], order[next]);
                }
                continue;
            }
            if (low[node] == order[node]) {
                uint32_t member;
                do {
                    member = stack.back();
                    stack.pop_back();
                    onStack[member] = false;
                    component[member] = found;
                } while (member != node);
                ++found;
            }
            calls.pop_back();
            if (!calls.empty())
                low[calls.back().node] = std::min(low[calls.back().node], low[node]);
        }
    }
    return component;
}

} // namespace

Priorities::Priorities(const Net &net, std::string_view fileName, Diagnostics *diagnostics)
{
    if (!net.priorities())
        return;
    std::vector<const Transition *> transitions;
    for (const Transition *t = net.firstTransition(); t; t = t->next)
        transitions.push_back(t);
    const size_t n = transitions.size();

    // Edges from the lower transition to the higher one: a walk from a transition reaches
    // every transition that has priority over it.
    std::vector<std::vector<uint32_t>> higher(n);
    for (const PriorityArc *arc = net.priorities(); arc; arc = arc->next)
        higher[arc->lower->index].push_back(arc->higher->index);
    const std::vector<uint32_t> component = components(higher);
    std::vector<uint32_t> componentSize(n, 0);
    for (uint32_t c : component)
        ++componentSize[c];

    // The arcs kept, each pair once, by the lower transition in the order of the lines; and
    // how many kept arcs each transition has above it, to order them (Kahn's algorithm).
    direct_.resize(n);
    std::vector<std::vector<uint32_t>> below(n);
    std::vector<uint32_t> pending(n, 0), last(n, UINT32_MAX);
    for (const PriorityArc *arc = net.priorities(); arc; arc = arc->next) {
        const uint32_t lower = arc->lower->index, upper = arc->higher->index;
        if (component[lower] == component[upper] && componentSize[component[lower]] > 1) {
            if (diagnostics)
                diagnostics->add(Severity::Error, std::string(fileName), arc->line, 0,
                                 "priorité de « " + std::string(arc->higher->name) + " » sur « "
                                     + std::string(arc->lower->name)
                                     + " » ignorée : elle fait partie d'un cycle de priorités");
            continue;
        }
        below[upper].push_back(lower);
        ++pending[lower];
    }
    // Each transition's direct higher ones, in list order and once: walked from the higher.
    for (uint32_t upper = 0; upper < n; ++upper) {
        for (uint32_t lower : below[upper]) {
            if (last[lower] == upper)
                continue;
            last[lower] = upper;
            direct_[lower].push_back(transitions[upper]);
        }
    }
    std::vector<uint32_t> ready;
    for (uint32_t t = 0; t < n; ++t)
        if (pending[t] == 0 && !below[t].empty())
            ready.push_back(t);
    // A queue in a vector: those that no other is above, then those freed, in list order.
    for (size_t next = 0; next < ready.size(); ++next) {
        const uint32_t upper = ready[next];
        order_.push_back(transitions[upper]);
        for (uint32_t lower : below[upper])
            if (--pending[lower] == 0 && !below[lower].empty())
                ready.push_back(lower);
    }
}

const std::vector<const Transition *> &Priorities::direct(const Transition &transition) const
{
    return transition.index < direct_.size() ? direct_[transition.index] : none_;
}

bool Priorities::above(const Transition &higher, const Transition &lower, int64_t *budget) const
{
    if (lower.index >= direct_.size() || direct_[lower.index].empty())
        return false;
    if (seen_.size() != direct_.size())
        seen_.assign(direct_.size(), 0);
    if (++stamp_ == 0) {
        std::fill(seen_.begin(), seen_.end(), 0);
        stamp_ = 1;
    }
    std::vector<const Transition *> todo(direct_[lower.index]);
    while (!todo.empty()) {
        const Transition *t = todo.back();
        todo.pop_back();
        if (t == &higher)
            return true;
        if (seen_[t->index] == stamp_)
            continue;
        seen_[t->index] = stamp_;
        if (budget && --*budget < 0)
            return false;
        todo.insert(todo.end(), direct_[t->index].begin(), direct_[t->index].end());
    }
    return false;
}

} // namespace trilette
