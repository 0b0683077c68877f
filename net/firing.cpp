#include "net/firing.h"

#include <algorithm>
#include <string>

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

    std::vector<std::vector<uint32_t>> kept(n);
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
        kept[lower].push_back(upper);
    }

    over_.resize(n);
    std::vector<uint32_t> seen(n, UINT32_MAX), todo;
    for (uint32_t start = 0; start < n; ++start) {
        if (kept[start].empty())
            continue;
        todo.assign(kept[start].begin(), kept[start].end());
        std::vector<uint32_t> reached;
        while (!todo.empty()) {
            const uint32_t node = todo.back();
            todo.pop_back();
            if (seen[node] == start || node == start)
                continue;
            seen[node] = start;
            reached.push_back(node);
            todo.insert(todo.end(), kept[node].begin(), kept[node].end());
        }
        std::sort(reached.begin(), reached.end());
        for (uint32_t node : reached)
            over_[start].push_back(transitions[node]);
        empty_ = false;
    }
}

const std::vector<const Transition *> &Priorities::over(const Transition &transition) const
{
    return transition.index < over_.size() ? over_[transition.index] : none_;
}

} // namespace trilette
