// Throughput of the monitor's input path: frame scanner plus L6 decoder, as the window runs them
// for every block the input link delivers.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "monitor/receiver_monitor.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes recorded(const char* name) {
    std::ifstream in(std::string(TESSALY_DATA_DIR) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void scanInBlocks(benchmark::State& state, const Bytes& stream) {
    if (stream.empty()) {
        state.SkipWithError("recorded stream not found");
        return;
    }
    const auto block = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        tessaly::ReceiverMonitor monitor{tessaly::MonitorOutputs{}};
        for (std::size_t at = 0; at < stream.size(); at += block) {
            monitor.scanBlock(tessaly::ByteView(stream).subspan(at, std::min(block, stream.size() - at)));
        }
        benchmark::DoNotOptimize(monitor.counters().textLinesRemoved);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}

void BM_TwoChannelL6Capture(benchmark::State& state) {
    static const Bytes stream = recorded("l6_two_channel_1h.ubx");
    scanInBlocks(state, stream);
}
BENCHMARK(BM_TwoChannelL6Capture)->Arg(1024)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_ReceiverStreamWithNmea(benchmark::State& state) {
    static const Bytes stream = recorded("qzsl6tool_20230919-114418_zedf9p.ubx");
    scanInBlocks(state, stream);
}
BENCHMARK(BM_ReceiverStreamWithNmea)->Arg(1024)->Unit(benchmark::kMillisecond);

// One 1 MiB block without a sync pair, '$' or CR LF: the cost must stay linear.
void BM_LargeBlockWithoutFrames(benchmark::State& state) {
    Bytes noise(1 << 20);
    std::mt19937 random(1);
    for (auto& b : noise) {
        do {
            b = static_cast<std::uint8_t>(random());
        } while (b == 0xB5 || b == '$' || b == 0x0D);
    }
    tessaly::ReceiverMonitor monitor{tessaly::MonitorOutputs{}};
    for (auto _ : state) monitor.scanBlock(noise);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * noise.size()));
}
BENCHMARK(BM_LargeBlockWithoutFrames)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
