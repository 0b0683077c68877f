// trilette-bench-core: times the reader and the writers in process, on generated nets of 10^4 and
// 10^5 lines, with everything they write kept in memory.

#include "bench/netgen.h"
#include "codegen/structurelog.h"
#include "codegen/stwriter.h"
#include "net/netreader.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

using namespace trilette;

namespace {

const std::string &netText(long lines)
{
    static std::map<long, std::string> texts;
    auto it = texts.find(lines);
    if (it == texts.end()) {
        bench::NetShape shape;
        shape.lines = lines;
        it = texts.emplace(lines, bench::generateNet(shape)).first;
    }
    return it->second;
}

/// The net read once, for the writers' benchmarks.
const Net &readNet(long lines)
{
    static std::map<long, Net> nets;
    auto [it, added] = nets.try_emplace(lines);
    if (added)
        readNetText(netText(lines), "bench.ndr", it->second, nullptr);
    return it->second;
}

/// Reports lines per second (items) and input bytes per second beside the time.
void countInput(benchmark::State &state, long lines)
{
    state.SetItemsProcessed(state.iterations() * lines);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(netText(lines).size()));
}

void readQuiet(benchmark::State &state)
{
    const long lines = state.range(0);
    const std::string &text = netText(lines);
    for (auto _ : state) {
        Net net;
        benchmark::DoNotOptimize(readNetText(text, "bench.ndr", net, nullptr));
    }
    countInput(state, lines);
}

void readTraced(benchmark::State &state)
{
    const long lines = state.range(0);
    const std::string &text = netText(lines);
    for (auto _ : state) {
        Net net;
        TextSink trace;
        readNetText(text, "bench.ndr", net, &trace);
        benchmark::DoNotOptimize(trace.text().data());
    }
    countInput(state, lines);
}

void renderLog(benchmark::State &state)
{
    const long lines = state.range(0);
    const Net &net = readNet(lines);
    for (auto _ : state) {
        TextSink out;
        writeStructureLog(net, out);
        benchmark::DoNotOptimize(out.text().data());
    }
    countInput(state, lines);
}

void renderSt(benchmark::State &state)
{
    const long lines = state.range(0);
    const Net &net = readNet(lines);
    for (auto _ : state) {
        TextSink out;
        writeStCode(net, out, nullptr);
        appendOutputBlock(net, out);
        benchmark::DoNotOptimize(out.text().data());
    }
    countInput(state, lines);
}

/// The whole conversion without files: read, then render the log and the program.
void convertInMemory(benchmark::State &state)
{
    const long lines = state.range(0);
    const std::string &text = netText(lines);
    for (auto _ : state) {
        Net net;
        readNetText(text, "bench.ndr", net, nullptr);
        TextSink log, st;
        writeStructureLog(net, log);
        writeStCode(net, st, nullptr);
        appendOutputBlock(net, st);
        benchmark::DoNotOptimize(log.text().data());
        benchmark::DoNotOptimize(st.text().data());
    }
    countInput(state, lines);
}

double minimum(const std::vector<double> &values)
{
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

void sizes(benchmark::internal::Benchmark *b)
{
    b->Arg(10000)
        ->Arg(100000)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->ComputeStatistics("min", minimum);
}

} // namespace

BENCHMARK(readQuiet)->Apply(sizes);
BENCHMARK(readTraced)->Apply(sizes);
BENCHMARK(renderLog)->Apply(sizes);
BENCHMARK(renderSt)->Apply(sizes);
BENCHMARK(convertInMemory)->Apply(sizes);

BENCHMARK_MAIN();
