#include "tests/plc/simulator.h"

#include <algorithm>

namespace trilette {

Simulator::Simulator(const Net &net, int64_t unitMs)
{
    for (const Place *p = net.firstPlace(); p; p = p->next) {
        const size_t before = placeNames_.size();
        if (placeIndex(p->name) == before)
            initial_.back() = p->marking; // two places of one name: the first one's marking
    }
    for (const Transition *t = net.firstTransition(); t; t = t->next) {
        Node node;
        node.transition = t;
        for (const ArcRef *arc = t->inputs; arc; arc = arc->next)
            if (arc->kind != ArcKind::Stopwatch && arc->kind != ArcKind::StopwatchInhibitor)
                node.inputs.push_back({placeIndex(arc->placeName), arc->kind, arc->weight});
        for (const ArcRef *arc = t->outputs; arc; arc = arc->next)
            node.outputs.push_back({placeIndex(arc->placeName), ArcKind::Normal, arc->weight});
        node.predicate = parseExpression(t->predicate).expr; // the nets that run parse
        node.earliestMs = int64_t(std::max(t->interval.earliest, 0)) * unitMs;
        nodes_.push_back(std::move(node));
    }
    // Every transition above each one: the closure of the priority arcs (the nets that run have
    // no cycle of them).
    std::vector<std::vector<size_t>> direct(nodes_.size());
    for (const PriorityArc *arc = net.priorities(); arc; arc = arc->next)
        direct[arc->lower->index].push_back(arc->higher->index);
    for (size_t t = 0; t < nodes_.size(); ++t) {
        std::vector<bool> seen(nodes_.size());
        for (std::vector<size_t> todo = direct[t]; !todo.empty();) {
            const size_t h = todo.back();
            todo.pop_back();
            if (!seen[h]) {
                seen[h] = true;
                nodes_[t].higher.push_back(h);
                todo.insert(todo.end(), direct[h].begin(), direct[h].end());
            }
        }
    }

    std::unordered_map<std::string_view, size_t> outputByName;
    for (const Place *p = net.firstPlace(); p; p = p->next) {
        forEachOutputName(*p, [&](std::string_view name) {
            auto [it, added] = outputByName.emplace(name, outputNames_.size());
            if (added) {
                outputNames_.emplace_back(name);
                outputPlaces_.emplace_back();
            }
            outputPlaces_[it->second].push_back(placeByName_.at(std::string(p->name)));
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

std::vector<int64_t> Simulator::values() const
{
    std::vector<int64_t> values(p_.begin(), p_.end());
    values.insert(values.end(), outputValues_.begin(), outputValues_.end());
    return values;
}

bool Simulator::arcsHold(const Node &node, const std::vector<int32_t> &marking) const
{
    for (const Arc &arc : node.inputs) {
        const int32_t tokens = marking[arc.place];
        if (arc.kind == ArcKind::Normal) {
            // Arcs written twice between the same place and transition add their weights.
            int64_t taken = 0;
            for (const Arc &other : node.inputs)
                if (other.kind == ArcKind::Normal && other.place == arc.place)
                    taken += other.weight;
            if (tokens < std::max<int64_t>(taken, 1))
                return false;
        } else if (arc.kind == ArcKind::Test ? tokens < arc.weight : tokens >= arc.weight) {
            return false;
        }
    }
    return true;
}

bool Simulator::predicateHolds(const Node &node) const
{
    const auto lookup = [&](std::string_view name) -> std::optional<Value> {
        const std::string key = upperCase(name);
        if (key == "INIT")
            return Value::boolean(false);
        if (auto it = variables_.find(key); it != variables_.end()) {
            const auto [kind, i] = it->second;
            return kind == 'o' ? Value::boolean(outputValues_[i])
                               : Value::dint(kind == 'p' ? p_[i] : s_[i]);
        }
        if (auto it = inputs_.find(key); it != inputs_.end())
            return it->second;
        return std::nullopt;
    };
    const std::optional<Value> value = evaluate(node.predicate, lookup);
    return value && value->number != 0;
}

void Simulator::fire(Node &node, int64_t nowMs)
{
    // Tina's rule, from the marking of this moment and the time each transition has been
    // enabled without interruption.
    const std::string name(node.transition->name), at = " à " + std::to_string(nowMs) + " ms";
    auto firable = [&](const Node &n) {
        return arcsHold(n, s_) && predicateHolds(n)
            && (n.earliestMs == 0 || (n.enabled && nowMs - n.enabledSinceMs >= n.earliestMs));
    };
    if (!firable(node))
        violations_.push_back(name + " tire sans pouvoir tirer" + at);
    for (size_t higher : node.higher) {
        if (firable(nodes_[higher]))
            violations_.push_back(name + " tire alors que "
                                  + std::string(nodes_[higher].transition->name)
                                  + ", prioritaire, le peut" + at);
    }

    for (const Arc &arc : node.inputs)
        if (arc.kind == ArcKind::Normal)
            s_[arc.place] -= arc.weight;
    for (const Arc &arc : node.outputs)
        s_[arc.place] += arc.weight;
    for (const Arc &arc : node.inputs) {
        if (s_[arc.place] < 0)
            violations_.push_back("marquage négatif de " + placeNames_[arc.place] + " après "
                                  + name);
    }
    fired_.push_back(node.transition);

    // The clocks as the program keeps them: the fired transition's stops, and so does that of
    // every transition that the firing leaves disabled. Tina's: a transition enabled now that
    // was not before this firing, or that just fired, is newly enabled.
    node.running = false;
    for (Node &other : nodes_) {
        const bool enabled = arcsHold(other, s_);
        other.running = other.running && enabled;
        if (enabled && (!other.enabled || &other == &node))
            other.enabledSinceMs = nowMs;
        other.enabled = enabled;
    }
}

void Simulator::scan(int64_t nowMs, bool init)
{
    fired_.clear();
    if (!started_ || init) {
        // The net starts with the first cycle, and again with each INIT.
        started_ = true;
        p_ = s_ = initial_;
        for (Node &node : nodes_) {
            node.running = false;
            node.enabled = arcsHold(node, s_);
            node.enabledSinceMs = nowMs;
        }
    }
    auto startClocks = [&] {
        for (Node &node : nodes_) {
            const bool enabled = arcsHold(node, p_);
            if (enabled && !node.running)
                node.startMs = nowMs;
            node.running = enabled;
        }
    };
    startClocks();
    if (init)
        return;
    auto clockRunOut = [&](const Node &node) {
        return node.earliestMs == 0 || (node.running && nowMs - node.startMs >= node.earliestMs);
    };
    for (Node &node : nodes_) {
        bool blocked = !arcsHold(node, p_) || !arcsHold(node, s_) || !clockRunOut(node)
            || !predicateHolds(node);
        for (size_t h : node.higher)
            blocked = blocked
                || (arcsHold(nodes_[h], s_) && predicateHolds(nodes_[h]) && clockRunOut(nodes_[h]));
        if (!blocked)
            fire(node, nowMs);
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
