#include "tests/plc/simulator.h"

#include "st/words.h"

#include <algorithm>
#include <string>

namespace trilette {

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
