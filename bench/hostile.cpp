#include "bench/hostile.h"

#include <algorithm>
#include <string>

namespace trilette::bench {

namespace {

/// splitmix64, as the other generator: the same numbers on every platform.
uint64_t nextRandom(uint64_t &state)
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::string number(long n)
{
    return std::to_string(n);
}

} // namespace

bool hostileShapeNamed(const std::string &name, HostileShape &shape)
{
    static const struct
    {
        const char *name;
        HostileShape shape;
    } names[]
        = {{"chain", HostileShape::PriorityChain},   {"timers", HostileShape::TimersOnOnePlace},
           {"label", HostileShape::LongLabel},       {"outputs", HostileShape::LongNameManyOutputs},
           {"fanin", HostileShape::ManyOnOnePlace},  {"random", HostileShape::RandomPriorities},
           {"case", HostileShape::SameNameOtherCase}};
    for (const auto &entry : names) {
        if (name == entry.name) {
            shape = entry.shape;
            return true;
        }
    }
    return false;
}

std::string generateHostileNet(HostileShape shape, long lines, uint64_t seed)
{
    lines = std::max(lines, 10L);
    uint64_t state = seed;
    std::string net;
    switch (shape) {
    case HostileShape::PriorityChain: {
        // Five lines per transition: its place, itself, two arcs, its priority arc.
        const long n = lines / 5;
        for (long i = 1; i <= n; ++i)
            net += "p 10 " + number(10 * i) + " P" + number(i) + " 1 n\n";
        net += "p 90 10 Fin 0 n {[Voyant]} e\n";
        for (long i = 1; i <= n; ++i)
            net += "t 50 " + number(10 * i) + " T" + number(i) + " c 0 w n {[go" + number(i % 7)
                + "]} e\n";
        for (long i = 1; i <= n; ++i)
            net += "e P" + number(i) + " T" + number(i) + " 1 n\ne T" + number(i) + " Fin 1 n\n";
        for (long i = 1; i < n; ++i)
            net += "e T" + number(i) + " T" + number(i + 1) + " 1 n\n";
        break;
    }
    case HostileShape::TimersOnOnePlace: {
        // Three lines per transition: itself and its two arcs.
        const long n = lines / 3;
        net += "p 10 10 Stock 3 n {[Plein]} e\n";
        for (long i = 1; i <= n; ++i)
            net += "t 50 " + number(10 * i) + " T" + number(i) + " c " + number(1 + i % 5)
                + " w n\n";
        for (long i = 1; i <= n; ++i)
            net += "e Stock T" + number(i) + " 1 n\ne T" + number(i) + " Stock 1 n\n";
        break;
    }
    case HostileShape::LongLabel: {
        net += "p 10 10 Cuve 1 n {[";
        for (long i = 1; i <= lines; ++i)
            net += (i > 1 ? "," : "") + std::string("action") + number(i);
        net += ";Voyant]} e\nt 50 10 Vider c 0 w n\ne Cuve Vider 1 n\n";
        break;
    }
    case HostileShape::LongNameManyOutputs: {
        const std::string name = "Cuve" + std::string(size_t(lines), 'x');
        net += "p 10 10 " + name + " 1 n {[";
        for (long i = 1; i <= lines; ++i)
            net += (i > 1 ? ";" : "") + std::string("S") + number(i);
        net += "]} e\nt 50 10 Vider c 0 w n\ne " + name + " Vider 1 n\n";
        break;
    }
    case HostileShape::ManyOnOnePlace: {
        // Three lines per transition: itself, its arc, its priority arc.
        const long n = lines / 3;
        net += "p 10 10 Jeton 1 n {[Libre]} e\n";
        for (long i = 1; i <= n; ++i)
            net += "t 50 " + number(10 * i) + " T" + number(i) + " c 0 w n {[a" + number(i % 5)
                + "]} e\n";
        for (long i = 1; i <= n; ++i)
            net += "e Jeton T" + number(i) + " 1 n\n";
        for (long i = 1; i < n; ++i)
            net += "e T" + number(i) + " T" + number(i + 1) + " 1 n\n";
        break;
    }
    case HostileShape::RandomPriorities: {
        // Modules of two places and two transitions in a cycle, then priority arcs, each from
        // a transition to a later one anywhere in the net: 10 lines a module.
        const long modules = std::max(lines / 10, 1L);
        for (long m = 0; m < modules; ++m)
            net += "p 10 " + number(m) + " A" + number(m) + " 1 n\np 10 " + number(m) + " B"
                + number(m) + " 0 n {[S" + number(m % 97) + "]} e\n";
        for (long m = 0; m < modules; ++m)
            net += "t 50 " + number(m) + " U" + number(m) + " c 0 w n {[x]} e\nt 50 " + number(m)
                + " V" + number(m) + " c " + number(m % 3) + " w n\n";
        for (long m = 0; m < modules; ++m)
            net += "e A" + number(m) + " U" + number(m) + " 1 n\ne U" + number(m) + " B" + number(m)
                + " 1 n\ne B" + number(m) + " V" + number(m) + " 1 n\ne V" + number(m) + " A"
                + number(m) + " 1 n\n";
        const long transitions = 2 * modules;
        for (long k = 0; k < 2 * modules; ++k) {
            const long a = long(nextRandom(state) % uint64_t(transitions));
            const long b = long(nextRandom(state) % uint64_t(transitions));
            if (a == b)
                continue;
            const long high = std::min(a, b), low = std::max(a, b);
            net += "e " + std::string(high % 2 ? "V" : "U") + number(high / 2) + " "
                + (low % 2 ? "V" : "U") + number(low / 2) + " 1 n\n";
        }
        break;
    }
    case HostileShape::SameNameOtherCase: {
        // The bits of i choose the case of each letter: 2^24 names at most.
        static const std::string letters = "abcdefghijklmnopqrstuvwx";
        for (long i = 0; i < std::min(lines, 1L << 24); ++i) {
            std::string name = letters;
            for (size_t b = 0; b < letters.size(); ++b)
                if (i >> b & 1)
                    name[b] = char(name[b] - 'a' + 'A');
            net += "p 10 " + number(i) + " " + name + " 0 n\n";
        }
        net += "p 10 0 {x-y} 1 n\n";
        break;
    }
    }
    return net + "h hostile\n";
}

} // namespace trilette::bench
