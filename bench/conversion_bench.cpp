// Cost of the conversion path per source frame (48 kHz stereo in, 16 kHz
// Base64 text out), next to a plain copy of the same input bytes and to sox. Times are
// CPU times: the machines this runs on are shared, and waiting for a core is
// not a cost of the code.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "system_audio/apple/core_audio_types.h"
#include "system_audio/conversion/capture_state.h"
#include "system_audio/conversion/mono_mixdown.h"
#include "system_audio/conversion/pcm_chunk.h"
#include "system_audio/frame/base64.h"

namespace {

using namespace system_audio;

constexpr std::size_t kChannels = 2;
constexpr std::size_t kBlockFrames = 512;  // one block as the tap delivers it
constexpr std::size_t kBlockBytes = kBlockFrames * kChannels * sizeof(float);
constexpr double kSourceRate = 48000.0;
constexpr std::size_t kStreamFrames = 48000 * 60 * 10;  // ten minutes
constexpr std::size_t kStreamBlocks = kStreamFrames / kBlockFrames;
constexpr double kAimNsPerFrame = 3.0;

const char kPerFrame[] = "time_per_frame";

// Noise in [-1, 1) from a small LCG: 230 MB must be made quickly.
std::vector<float> noise(std::size_t samples, std::uint32_t seed) {
  std::vector<float> out(samples);
  for (auto& sample : out) {
    seed = seed * 1664525u + 1013904223u;
    sample = static_cast<float>(static_cast<std::int32_t>(seed)) * (1.0f / 2147483648.0f);
  }
  return out;
}

const std::vector<float>& ten_minute_stream() {
  static const std::vector<float> stream = noise(kStreamFrames * kChannels, 600);
  return stream;
}

struct StereoList {
  AudioBufferList list;
  explicit StereoList(const float* samples) {
    list.mNumberBuffers = 1;
    list.mBuffers[0] = {static_cast<std::uint32_t>(kChannels),
                        static_cast<std::uint32_t>(kBlockBytes), const_cast<float*>(samples)};
  }
};

// A capture as the backends feed it, and the pump's end of its channel.
struct Capture {
  std::unique_ptr<CaptureState> state;
  PcmReceiver pcm_rx;
  StatusReceiver status_rx;

  Capture() {
    auto [pcm_tx, pcm] = make_channel<PcmChunk>();
    auto [status_tx, status] = make_channel<StatusText>();
    state = std::make_unique<CaptureState>(std::move(pcm_tx), std::move(status_tx));
    state->conversion.emplace(kSourceRate);
    pcm_rx = std::move(pcm);
    status_rx = std::move(status);
  }

  // What the capture callback and then the output pump do with a block, up to
  // the text of its protocol line.
  void convert(const float* stereo) {
    const StereoList input(stereo);
    process_input_buffers(*state, input.list, kSourceRate);
    auto chunk = pcm_rx.receive();
    std::string line;
    line.reserve(4 + base64_length(chunk->size()));
    line = "PCM ";
    append_base64(line, *chunk);
    benchmark::DoNotOptimize(line.data());
  }
};

void per_frame(benchmark::State& state, std::size_t frames_per_iteration) {
  state.counters[kPerFrame] = benchmark::Counter(
      static_cast<double>(frames_per_iteration),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void block_convert(benchmark::State& state) {
  const auto input = noise(kBlockFrames * kChannels, 1);
  Capture capture;
  for (auto _ : state) capture.convert(input.data());
  per_frame(state, kBlockFrames);
}

void block_memcpy(benchmark::State& state) {
  const auto input = noise(kBlockFrames * kChannels, 1);
  std::vector<float> copy(input.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), input.data(), kBlockBytes);
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  per_frame(state, kBlockFrames);
}

// The stages one by one, to show where a block's time goes.
void block_mixdown(benchmark::State& state) {
  const auto input = noise(kBlockFrames * kChannels, 1);
  const StereoList list(input.data());
  std::vector<float> mono;
  for (auto _ : state) {
    copy_mono_f32_input(list.list, mono);
    benchmark::DoNotOptimize(mono.data());
  }
  per_frame(state, kBlockFrames);
}

void block_resample(benchmark::State& state) {
  const auto mono = noise(kBlockFrames, 2);
  LinearResampler resampler(kSourceRate);
  std::vector<float> out;
  for (auto _ : state) {
    out.clear();
    resampler.process(mono, out);
    benchmark::DoNotOptimize(out.data());
  }
  per_frame(state, kBlockFrames);
}

// The filter computes only the samples that the resampler reads next.
void block_low_pass(benchmark::State& state) {
  const auto mono = noise(kBlockFrames, 2);
  RateConversion conversion(kSourceRate);
  auto block = mono;
  for (auto _ : state) {
    block = mono;
    low_pass(conversion.low_pass, conversion.resampler, block);
    benchmark::DoNotOptimize(block.data());
    conversion.resampler.position =
        std::fmod(conversion.resampler.position + kBlockFrames, kSourceRate / 16000.0);
  }
  per_frame(state, kBlockFrames);
}

void block_encode(benchmark::State& state) {
  const auto samples = noise(kBlockFrames / 3, 3);
  for (auto _ : state) {
    PcmChunk chunk = encode_pcm_chunk(samples);
    std::string line = "PCM ";
    append_base64(line, chunk);
    benchmark::DoNotOptimize(line.data());
  }
  per_frame(state, kBlockFrames);
}

void ten_minutes_convert(benchmark::State& state) {
  const auto& stream = ten_minute_stream();
  for (auto _ : state) {
    Capture capture;
    for (std::size_t block = 0; block < kStreamBlocks; ++block) {
      capture.convert(stream.data() + block * kBlockFrames * kChannels);
    }
  }
  per_frame(state, kStreamFrames);
}

// The same bytes copied block by block into one block-sized buffer: reading
// the stream is all it costs, as for the conversion.
void ten_minutes_memcpy_blocks(benchmark::State& state) {
  const auto& stream = ten_minute_stream();
  std::vector<float> copy(kBlockFrames * kChannels);
  for (auto _ : state) {
    for (std::size_t block = 0; block < kStreamBlocks; ++block) {
      std::memcpy(copy.data(), stream.data() + block * kBlockFrames * kChannels, kBlockBytes);
      benchmark::DoNotOptimize(copy.data());
      benchmark::ClobberMemory();
    }
  }
  per_frame(state, kStreamFrames);
}

// The whole stream into a second stream-sized buffer in one call.
void ten_minutes_memcpy_whole(benchmark::State& state) {
  const auto& stream = ten_minute_stream();
  std::vector<float> copy(stream.size());  // touched here, outside the timing
  for (auto _ : state) {
    std::memcpy(copy.data(), stream.data(), stream.size() * sizeof(float));
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  per_frame(state, kStreamFrames);
}

// sox's default quality (its "rate" effect, high) on the same ten minutes: CPU
// time of the sox process per source frame, mixdown included; nullopt without sox.
std::optional<double> sox_per_frame_ns() {
  if (std::system("command -v sox >/dev/null 2>&1") != 0) return std::nullopt;
  rusage before{};
  getrusage(RUSAGE_CHILDREN, &before);
  FILE* sox = popen("sox -V1 -t f32 -r 48000 -c 2 - -t f32 /dev/null channels 1 rate 16000", "w");
  if (sox == nullptr) return std::nullopt;
  const auto& stream = ten_minute_stream();
  const bool written =
      std::fwrite(stream.data(), sizeof(float), stream.size(), sox) == stream.size();
  if (pclose(sox) != 0 || !written) return std::nullopt;
  rusage after{};
  getrusage(RUSAGE_CHILDREN, &after);
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
  const double cpu = seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) -
                     seconds(before.ru_stime);
  return cpu * 1e9 / static_cast<double>(kStreamFrames);
}

// Prints the usual table and keeps each run's time per frame for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      const auto counter = run.counters.find(kPerFrame);
      if (run.run_type != Run::RT_Iteration || counter == run.counters.end()) continue;
      per_frame_ns[run.run_name.function_name] = counter->second.value * 1e9;
    }
  }

  void ratio(const char* label, const std::string& convert, const std::string& copy) const {
    const auto a = per_frame_ns.find(convert);
    const auto b = per_frame_ns.find(copy);
    if (a == per_frame_ns.end() || b == per_frame_ns.end()) return;
    std::printf("%-44s %8.3f ns/frame vs %8.3f ns/frame: ratio %.2f\n", label, a->second, b->second,
                a->second / b->second);
  }

  std::map<std::string, double> per_frame_ns;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("block/convert", block_convert);
  benchmark::RegisterBenchmark("block/memcpy", block_memcpy);
  benchmark::RegisterBenchmark("block/mixdown", block_mixdown);
  benchmark::RegisterBenchmark("block/low_pass", block_low_pass);
  benchmark::RegisterBenchmark("block/resample", block_resample);
  benchmark::RegisterBenchmark("block/encode_base64", block_encode);
  for (auto* ten_minutes :
       {benchmark::RegisterBenchmark("ten_minutes/convert", ten_minutes_convert),
        benchmark::RegisterBenchmark("ten_minutes/memcpy_blocks", ten_minutes_memcpy_blocks),
        benchmark::RegisterBenchmark("ten_minutes/memcpy_whole", ten_minutes_memcpy_whole)}) {
    ten_minutes->Unit(benchmark::kMillisecond)->MinTime(2.0);
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ten_minute_stream();  // made once, before any timing
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nconversion against memcpy of the same input bytes:\n");
  reporter.ratio("one block (512 frames)", "block/convert", "block/memcpy");
  reporter.ratio("ten minutes, memcpy block by block", "ten_minutes/convert",
                 "ten_minutes/memcpy_blocks");
  reporter.ratio("ten minutes, memcpy of the whole stream", "ten_minutes/convert",
                 "ten_minutes/memcpy_whole");

  const auto ours = reporter.per_frame_ns.find("ten_minutes/convert");
  if (ours != reporter.per_frame_ns.end()) {
    std::printf(
        "\nten minutes at 48 kHz stereo: this conversion %.3f ns/frame (aim: %.0f at most)\n",
        ours->second, kAimNsPerFrame);
    if (const auto sox = sox_per_frame_ns()) {
      std::printf("sox at its default quality (channels 1 rate 16000): %.3f ns/frame\n", *sox);
    } else {
      std::printf("sox is not installed (or failed): no comparison with it\n");
    }
  }
  return 0;
}
