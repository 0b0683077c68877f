#include "tests/plc/randomnet.h"

#include <algorithm>
#include <numeric>
#include <random>
#include <sstream>
#include <vector>

namespace trilette {

namespace {

/// Predicates over the Boolean inputs a, b, c and the numeric inputs n, m, between bars; some
/// read an output or a marking variable, as ST lets them; two are empty.
const std::string predicates = "||a|NOT b|a AND c|a OR b|b XOR c|n > 2|n <= 1 AND a|n = m|"
                               "(a OR c) AND m >= 0|NOT (a AND b)|n + m > 3|n MOD 2 = 0|Sortie1|"
                               "P0p >= 1|a & NOT c";

} // namespace

std::string randomNet(uint32_t seed)
{
    std::mt19937 random(seed);
    auto pick
        = [&](int from, int to) { return std::uniform_int_distribution<int>(from, to)(random); };
    auto chance = [&](int percent) { return pick(1, 100) <= percent; };

    const int placeCount = pick(2, 7);
    const int transitionCount = pick(2, 7);
    std::vector<std::string> places, transitions;
    for (int i = 0; i < placeCount; ++i) {
        // Some names are no ST identifiers, and get a valid one.
        const std::string n = std::to_string(i);
        places.push_back(i > 0 && chance(10)      ? "{P " + n + "}"
                             : i > 0 && chance(5) ? n + ".p"
                                                  : "P" + n);
    }
    for (int i = 0; i < transitionCount; ++i)
        transitions.push_back("T" + std::to_string(i));

    std::string net;
    for (int i = 0; i < placeCount; ++i) {
        net += "p 10 " + std::to_string(40 * i) + " " + places[i] + " " + std::to_string(pick(0, 3))
            + " n";
        if (chance(40)) {
            std::string label = "Sortie" + std::to_string(pick(1, 3));
            if (chance(30))
                label += ";Sortie" + std::to_string(pick(1, 3));
            net += " {[" + label + "]} e";
        }
        net += '\n';
    }
    for (int i = 0; i < transitionCount; ++i) {
        std::string interval = "0 w";
        if (chance(30)) {
            const int earliest = pick(1, 4);
            interval = std::to_string(earliest) + " "
                + (chance(50) ? std::string("w") : std::to_string(earliest + pick(0, 3)));
        }
        std::istringstream list(predicates);
        std::string predicate;
        for (int k = pick(0, 16); k >= 0; --k)
            std::getline(list, predicate, '|');
        net += "t 50 " + std::to_string(40 * i) + " " + transitions[i] + " c " + interval + " n {["
            + predicate + "]} e\n";
    }
    for (int i = 0; i < transitionCount; ++i) {
        const int inputs = chance(10) ? 0 : pick(1, 3);
        for (int k = 0; k < inputs; ++k) {
            std::string weight = std::to_string(pick(1, 2));
            const int kind = pick(1, 100);
            weight = kind <= 12 ? "?" + weight
                : kind <= 27    ? "?-" + std::to_string(pick(1, 2))
                : kind <= 30    ? "!" + weight
                                : weight;
            net += "e " + places[pick(0, placeCount - 1)] + " " + transitions[i] + " " + weight
                + " n\n";
        }
        const int outputs = pick(0, 2);
        for (int k = 0; k < outputs; ++k)
            net += "e " + transitions[i] + " " + places[pick(0, placeCount - 1)] + " "
                + std::to_string(pick(1, 2)) + " n\n";
    }
    // Priorities along a random order of the transitions, so that they never make a cycle.
    std::vector<int> order(transitionCount);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), random);
    const int priorities = chance(40) ? pick(1, 3) : 0;
    for (int k = 0; k < priorities; ++k) {
        const int a = pick(0, transitionCount - 2);
        const int b = pick(a + 1, transitionCount - 1);
        net += "e " + transitions[order[a]] + " " + transitions[order[b]] + " 1 n\n";
    }
    return net + "h net\n";
}

} // namespace trilette
