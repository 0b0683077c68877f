#include "net/firing.h"

#include "st/words.h"

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

namespace {

bool stopwatch(ArcKind kind)
{
    return kind == ArcKind::Stopwatch || kind == ArcKind::StopwatchInhibitor;
}

} // namespace

Simulator::Simulator(const Net &net, int64_t unitMs)
{
    for (const Place *p = net.firstPlace(); p; p = p->next) {
        const size_t before = placeNames_.size();
        const size_t index = placeIndex(p->name);
        if (index == before)
            initial_.back() = p->marking;
    }
    const Priorities priorities(net, {}, nullptr);
    for (const Transition *t = net.firstTransition(); t; t = t->next) {
        Node node;
        node.transition = t;
        for (const ArcRef *arc = t->inputs; arc; arc = arc->next) {
            if (!stopwatch(arc->kind))
                node.inputs.push_back({placeIndex(arc->placeName), arc->kind, arc->weight});
        }
        for (const ArcRef *arc = t->outputs; arc; arc = arc->next)
            node.outputs.push_back({placeIndex(arc->placeName), ArcKind::Normal, arc->weight});
        if (!t->predicate.empty()) {
            ParseResult parsed = parseExpression(t->predicate);
            node.predicateOk = parsed.ok;
            node.predicate = std::move(parsed.expr);
        }
        node.earliestMs = int64_t(std::max(t->interval.earliest, 0)) * unitMs;
        // Every transition above this one, through the arcs: the reference may take its time.
        for (const Transition *higher = net.firstTransition(); higher; higher = higher->next)
            if (priorities.above(*higher, *t))
                node.higher.push_back(higher->index);
        nodes_.push_back(std::move(node));
    }

    std::unordered_map<std::string_view, size_t> outputByName;
    for (const Place *p = net.firstPlace(); p; p = p->next) {
        const size_t place = placeByName_.at(std::string(p->name));
        forEachOutputName(*p, [&](std::string_view name) {
            auto [it, added] = outputByName.emplace(name, outputNames_.size());
            if (added) {
                outputNames_.emplace_back(name);
                outputPlaces_.emplace_back();
            }
            outputPlaces_[it->second].push_back(place);
        });
    }
    outputValues_.assign(outputNames_.size(), false);
    // What a predicate reads under a name, ST being blind to case: an output first, then a
    // marking variable, then an input.
    for (size_t i = 0; i < outputNames_.size(); ++i)
        variables_.emplace(upperCase(outputNames_[i]), std::make_pair('o', i));
    for (size_t i = 0; i < placeNames_.size(); ++i) {
        variables_.emplace(upperCase(placeNames_[i] + "p"), std::make_pair('p', i));
        variables_.emplace(upperCase(placeNames_[i] + "s"), std::make_pair('s', i));
    }
    p_ = s_ = initial_;
}

size_t Simulator::placeIndex(std::string_view name)
{
    const auto [it, added] = placeByName_.emplace(std::string(name), placeNames_.size());
    if (added) {
        placeNames_.emplace_back(name);
        initial_.push_back(0);
    }
    return it->second;
}

void Simulator::setInput(std::string_view name, Value value)
{
    inputs_[upperCase(name)] = value;
}

bool Simulator::arcsHold(const Node &node, const std::vector<int32_t> &marking) const
{
    for (const Arc &arc : node.inputs) {
        const int32_t tokens = marking[arc.place];
        switch (arc.kind) {
        case ArcKind::Normal: {
            // Arcs written twice between the same place and transition add their weights.
            int64_t taken = 0;
            for (const Arc &other : node.inputs)
                if (other.kind == ArcKind::Normal && other.place == arc.place)
                    taken += other.weight;
            if (tokens < std::max<int64_t>(taken, 1))
                return false;
            break;
        }
        case ArcKind::Test:
            if (tokens < arc.weight)
                return false;
            break;
        case ArcKind::Inhibitor:
            if (tokens >= arc.weight)
                return false;
            break;
        default:
            break;
        }
    }
    return true;
}

bool Simulator::predicateHolds(const Node &node) const
{
    if (!node.predicateOk)
        return false;
    if (node.predicate.isEmpty())
        return true;
    const EvalResult result
        = evaluate(node.predicate, [&](std::string_view name) -> std::optional<Value> {
              // Each spelling is looked up once: it reads INIT, an output, a marking variable
              // or an input.
              auto found = spellings_.find(name);
              if (found == spellings_.end()) {
                  const std::string key = upperCase(name);
                  Binding binding {'i', 0, key};
                  if (key == "INIT")
                      binding.kind = 'I';
                  else if (auto it = variables_.find(key); it != variables_.end())
                      binding = {it->second.first, it->second.second, key};
                  found = spellings_.emplace(name, binding).first;
              }
              const Binding &b = found->second;
              switch (b.kind) {
              case 'I':
                  return Value::boolean(false);
              case 'o':
                  return Value::boolean(outputValues_[b.index]);
              case 'p':
                  return Value::dint(p_[b.index]);
              case 's':
                  return Value::dint(s_[b.index]);
              default:
                  if (auto it = inputs_.find(b.key); it != inputs_.end())
                      return it->second;
                  return std::nullopt;
              }
          });
    return result.status == EvalResult::Ok && result.value.number != 0;
}

bool Simulator::clockRunOut(const Node &node, int64_t nowMs) const
{
    return node.earliestMs == 0 || (node.running && nowMs - node.startMs >= node.earliestMs);
}

bool Simulator::canFire(const Node &node, int64_t nowMs) const
{
    if (!arcsHold(node, p_) || !arcsHold(node, s_) || !clockRunOut(node, nowMs)
        || !predicateHolds(node))
        return false;
    for (size_t higher : node.higher) {
        const Node &h = nodes_[higher];
        if (arcsHold(h, s_) && predicateHolds(h) && clockRunOut(h, nowMs))
            return false;
    }
    return true;
}

void Simulator::fire(size_t index, int64_t nowMs)
{
    Node &node = nodes_[index];
    const std::string name(node.transition->name);

    // Tina's rule, from the marking of this moment and the time each transition has been
    // enabled without interruption.
    auto firable = [&](const Node &n) {
        return arcsHold(n, s_) && predicateHolds(n)
            && (n.earliestMs == 0 || (n.enabled && nowMs - n.enabledSinceMs >= n.earliestMs));
    };
    if (!firable(node))
        violations_.push_back(name + " tire sans pouvoir tirer à " + std::to_string(nowMs) + " ms");
    for (size_t higher : node.higher) {
        if (firable(nodes_[higher]))
            violations_.push_back(name + " tire alors que "
                                  + std::string(nodes_[higher].transition->name)
                                  + ", prioritaire, le peut à " + std::to_string(nowMs) + " ms");
    }

    for (const Arc &arc : node.inputs) {
        if (arc.kind == ArcKind::Normal)
            s_[arc.place] -= arc.weight;
    }
    for (const Arc &arc : node.outputs)
        s_[arc.place] += arc.weight;
    for (const Arc &arc : node.inputs) {
        if (s_[arc.place] < 0)
            violations_.push_back("marquage négatif de " + placeNames_[arc.place] + " après "
                                  + name);
    }
    fired_.push_back(node.transition);

    // The clocks as the program keeps them: the fired transition's stops, and so does that of
    // every transition that the firing leaves disabled.
    node.running = false;
    for (Node &other : nodes_) {
        if (other.earliestMs > 0 && other.running && !arcsHold(other, s_))
            other.running = false;
    }
    // Tina's clocks: a transition enabled now that was not before this firing, or that just
    // fired, is newly enabled.
    for (Node &other : nodes_) {
        const bool enabled = arcsHold(other, s_);
        if (enabled && (!other.enabled || &other == &node))
            other.enabledSinceMs = nowMs;
        other.enabled = enabled;
    }
}

void Simulator::initialise()
{
    p_ = s_ = initial_;
    for (Node &node : nodes_) {
        node.running = false;
        node.enabled = arcsHold(node, s_);
        node.enabledSinceMs = lastMs_;
    }
}

void Simulator::scan(int64_t nowMs, bool init)
{
    fired_.clear();
    if (!started_) {
        // The net starts with the first cycle.
        started_ = true;
        lastMs_ = nowMs;
        initialise();
    }
    lastMs_ = nowMs;
    auto startClocks = [&] {
        for (Node &node : nodes_) {
            if (node.earliestMs == 0)
                continue;
            if (!arcsHold(node, p_)) {
                node.running = false;
            } else if (!node.running) {
                node.running = true;
                node.startMs = nowMs;
            }
        }
    };
    if (init) {
        initialise();
        startClocks();
        return;
    }
    startClocks();
    for (size_t i = 0; i < nodes_.size(); ++i) {
        if (canFire(nodes_[i], nowMs))
            fire(i, nowMs);
    }
    p_ = s_;
    startClocks();
    for (size_t i = 0; i < outputNames_.size(); ++i) {
        bool on = false;
        for (size_t place : outputPlaces_[i])
            on = on || p_[place] >= 1;
        outputValues_[i] = on;
    }
}

} // namespace trilette
