// Decoding plus dispatch: received bytes through the Frame Decoder of a Port Context and every
// completed packet through the Report Handler, in each Operation Mode. Reported in bytes/second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "link/Framing.h"
#include "link/PortContext.h"
#include "messages/ReportHandler.h"
#include "settings/SettingsImage.h"

namespace {

std::vector<uint8_t> ReportStream() {
    // One verification pass worth of reports, repeated: every group report plus the Link Check
    // answer, with payload bytes that include DLEs to be unstuffed.
    struct Report {
        uint8_t id;
        int key;
        int length;
    };
    const Report reports[] = {{0x45, -1, 4},    {0x4A, -1, 9},    {0x55, -1, 4},    {0x7B, 0x00, 6},
                              {0xBB, 0x00, 43}, {0xBC, 0x00, 10}, {0xBC, 0x01, 10}, {0x8F, 0x15, 43},
                              {0x8F, 0x4A, 16}, {0x8F, 0x4D, 5},  {0x8F, 0x4E, 2},  {0x8F, 0x4F, 9},
                              {0x8F, 0xA5, 5},  {0x8F, 0xA9, 11}};
    std::mt19937 random(5);
    std::vector<uint8_t> stream;
    while (stream.size() < (1u << 20)) {
        for (const Report& report : reports) {
            uint8_t packet[64];
            int length = 0;
            packet[length++] = report.id;
            for (int i = 0; i < report.length; ++i) {
                packet[length++] = (i == 0 && report.key >= 0)
                                       ? static_cast<uint8_t>(report.key)
                                       : static_cast<uint8_t>(random() % 32 == 0 ? 0x10 : random());
            }
            uint8_t frame[kFrameBufferSize];
            const int size = FrameEncode(packet, length, frame, kFrameBufferSize);
            stream.insert(stream.end(), frame, frame + size);
        }
    }
    return stream;
}

void DecodeAndDispatch(benchmark::State& state) {
    static const std::vector<uint8_t> stream = ReportStream();
    PortContext& context = PortContexts[0];
    context.operationMode = static_cast<uint8_t>(state.range(0));
    SettingsImage.fill(0);
    for (auto _ : state) {
        FrameDecoderFields decoder = context.Decoder();
        for (uint8_t byte : stream) {
            if (FrameDecodeByte(decoder, byte) != 0) ReportHandler(context);
        }
        benchmark::DoNotOptimize(context.groupStatus);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
}

void DecodeOnly(benchmark::State& state) {
    static const std::vector<uint8_t> stream = ReportStream();
    FrameDecoder decoder;
    uint32_t packets = 0;
    for (auto _ : state) {
        for (uint8_t byte : stream) packets += FrameDecodeByte(decoder.Fields(), byte);
        benchmark::DoNotOptimize(packets);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
}

}  // namespace

BENCHMARK(DecodeAndDispatch)
    ->Arg(kModeIdle)
    ->Arg(kModeLoading)
    ->Arg(kModeConfiguring)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeOnly)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
