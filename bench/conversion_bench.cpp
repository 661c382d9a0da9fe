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

#include "system_audio/conversion/audio_types.h"
#include "system_audio/conversion/linear_resampler.h"
#include "system_audio/conversion/low_pass_filter.h"
#include "system_audio/conversion/mono_mixdown.h"
#include "system_audio/conversion/pcm_chunk.h"
#include "system_audio/frame/base64.h"

namespace {

using namespace system_audio;

constexpr std::size_t kChannels = 2;
constexpr std::size_t kCycleFrames = 512;  // one IO cycle of the tap
constexpr std::size_t kCycleBytes = kCycleFrames * kChannels * sizeof(float);
constexpr double kSourceRate = 48000.0;
constexpr std::size_t kStreamFrames = 48000 * 60 * 10;  // ten minutes
constexpr std::size_t kStreamCycles = kStreamFrames / kCycleFrames;

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
                        static_cast<std::uint32_t>(kCycleBytes), const_cast<float*>(samples)};
  }
};

// What one capture callback and the output pump do with a cycle, up to the
// text of its protocol line.
void convert_cycle(LowPassFilter& filter, LinearResampler& resampler, const float* stereo) {
  const StereoList input(stereo);
  auto mono = copy_mono_f32_input(input.list);
  low_pass(filter, resampler, *mono);
  const auto resampled = resampler.process(*mono);
  PcmChunk chunk = encode_pcm_chunk(resampled);
  std::string line;
  line.reserve(4 + base64_length(chunk.size()));
  line = "PCM ";
  append_base64(line, chunk);
  benchmark::DoNotOptimize(line.data());
}

void per_frame(benchmark::State& state, std::size_t frames_per_iteration) {
  state.counters[kPerFrame] = benchmark::Counter(
      static_cast<double>(frames_per_iteration),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void io_cycle_convert(benchmark::State& state) {
  const auto input = noise(kCycleFrames * kChannels, 1);
  LowPassFilter filter(kSourceRate);
  LinearResampler resampler(kSourceRate);
  for (auto _ : state) convert_cycle(filter, resampler, input.data());
  per_frame(state, kCycleFrames);
}

void io_cycle_memcpy(benchmark::State& state) {
  const auto input = noise(kCycleFrames * kChannels, 1);
  std::vector<float> copy(input.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), input.data(), kCycleBytes);
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  per_frame(state, kCycleFrames);
}

// The stages one by one, to show where a cycle's time goes.
void io_cycle_mixdown(benchmark::State& state) {
  const auto input = noise(kCycleFrames * kChannels, 1);
  const StereoList list(input.data());
  for (auto _ : state) {
    auto mono = copy_mono_f32_input(list.list);
    benchmark::DoNotOptimize(mono->data());
  }
  per_frame(state, kCycleFrames);
}

void io_cycle_resample(benchmark::State& state) {
  const auto mono = noise(kCycleFrames, 2);
  LinearResampler resampler(kSourceRate);
  for (auto _ : state) {
    auto out = resampler.process(mono);
    benchmark::DoNotOptimize(out.data());
  }
  per_frame(state, kCycleFrames);
}

// The filter computes only the samples that the resampler reads next.
void io_cycle_low_pass(benchmark::State& state) {
  const auto mono = noise(kCycleFrames, 2);
  LowPassFilter filter(kSourceRate);
  LinearResampler resampler(kSourceRate);
  auto block = mono;
  for (auto _ : state) {
    block = mono;
    low_pass(filter, resampler, block);
    benchmark::DoNotOptimize(block.data());
    resampler.position = std::fmod(resampler.position + kCycleFrames, kSourceRate / 16000.0);
  }
  per_frame(state, kCycleFrames);
}

void io_cycle_encode(benchmark::State& state) {
  const auto samples = noise(kCycleFrames / 3, 3);
  for (auto _ : state) {
    PcmChunk chunk = encode_pcm_chunk(samples);
    std::string line = "PCM ";
    append_base64(line, chunk);
    benchmark::DoNotOptimize(line.data());
  }
  per_frame(state, kCycleFrames);
}

void ten_minutes_convert(benchmark::State& state) {
  const auto& stream = ten_minute_stream();
  for (auto _ : state) {
    LowPassFilter filter(kSourceRate);
    LinearResampler resampler(kSourceRate);
    for (std::size_t cycle = 0; cycle < kStreamCycles; ++cycle) {
      convert_cycle(filter, resampler, stream.data() + cycle * kCycleFrames * kChannels);
    }
  }
  per_frame(state, kStreamFrames);
}

// The same bytes copied cycle by cycle into one cycle-sized buffer: reading
// the stream is all it costs, as for the conversion.
void ten_minutes_memcpy_cycles(benchmark::State& state) {
  const auto& stream = ten_minute_stream();
  std::vector<float> copy(kCycleFrames * kChannels);
  for (auto _ : state) {
    for (std::size_t cycle = 0; cycle < kStreamCycles; ++cycle) {
      std::memcpy(copy.data(), stream.data() + cycle * kCycleFrames * kChannels, kCycleBytes);
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
  benchmark::RegisterBenchmark("io_cycle/convert", io_cycle_convert);
  benchmark::RegisterBenchmark("io_cycle/memcpy", io_cycle_memcpy);
  benchmark::RegisterBenchmark("io_cycle/mixdown", io_cycle_mixdown);
  benchmark::RegisterBenchmark("io_cycle/low_pass", io_cycle_low_pass);
  benchmark::RegisterBenchmark("io_cycle/resample", io_cycle_resample);
  benchmark::RegisterBenchmark("io_cycle/encode_base64", io_cycle_encode);
  for (auto* ten_minutes :
       {benchmark::RegisterBenchmark("ten_minutes/convert", ten_minutes_convert),
        benchmark::RegisterBenchmark("ten_minutes/memcpy_cycles", ten_minutes_memcpy_cycles),
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
  reporter.ratio("one IO cycle (512 frames)", "io_cycle/convert", "io_cycle/memcpy");
  reporter.ratio("ten minutes, memcpy cycle by cycle", "ten_minutes/convert",
                 "ten_minutes/memcpy_cycles");
  reporter.ratio("ten minutes, memcpy of the whole stream", "ten_minutes/convert",
                 "ten_minutes/memcpy_whole");

  const auto ours = reporter.per_frame_ns.find("ten_minutes/convert");
  if (ours != reporter.per_frame_ns.end()) {
    std::printf("\nten minutes at 48 kHz stereo: this conversion %.3f ns/frame (aim: under 5)\n",
                ours->second);
    if (const auto sox = sox_per_frame_ns()) {
      std::printf("sox at its default quality (channels 1 rate 16000): %.3f ns/frame\n", *sox);
    } else {
      std::printf("sox is not installed (or failed): no comparison with it\n");
    }
  }
  return 0;
}
