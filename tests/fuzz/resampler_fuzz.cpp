// Any source rate and any stream, cut into blocks anywhere, through the two
// steps that the capture callback runs on its mono block (low pass, then
// resampler): the blocks give what one block holding the whole stream gives
// (bit for bit where the step's positions are exact), and never more samples
// than the rate allows; a ramp comes out at its positions, and 16 kHz passes
// every sample.
#include <map>

#include "fuzz_target.h"
#include "system_audio/conversion/low_pass_filter.h"

using namespace system_audio;

// A filter design takes up to milliseconds: one per kilohertz, copied for each
// run. The taps do not matter here; which samples get filtered follows the
// resampler's own positions.
static LowPassFilter new_filter(double rate) {
  static std::map<std::uint64_t, LowPassFilter> designed;
  if (designed.size() > 1000) designed.clear();
  const double near = std::round(resampler_rate(rate) / 1000) * 1000;
  return designed.try_emplace(std::bit_cast<std::uint64_t>(near), near).first->second;
}

static std::vector<float> convert(double rate, const std::vector<std::vector<float>>& blocks) {
  LowPassFilter filter = new_filter(rate);
  LinearResampler resampler(rate);
  std::vector<float> out;
  for (std::vector<float> block : blocks) {
    low_pass(filter, resampler, block);
    resampler.process(block, out);
  }
  return out;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr double kRates[] = {
      0,     -0.0,   HUGE_VAL, -HUGE_VAL,          5e-324, 1e300, 8000, 16000, 44100, 48000,
      96000, 192000, 17000.3,  16000.000000000004, NAN};
  FuzzedDataProvider input(data, size);
  const double rate = input.ConsumeBool()
                          ? input.PickValueInArray(kRates)
                          : std::bit_cast<double>(input.ConsumeIntegral<std::uint64_t>());
  std::vector<std::vector<float>> blocks;
  std::vector<float> stream;
  while (input.remaining_bytes() > 0) {
    auto& block = blocks.emplace_back(input.ConsumeIntegralInRange(0, 700));
    for (float& x : block) x = std::bit_cast<float>(input.ConsumeIntegral<std::uint32_t>());
    stream.insert(stream.end(), block.begin(), block.end());
  }
  // Where every position is a multiple of a step with few bits, the f64
  // additions never round, and the cut cannot show. At other rates they round
  // at the scale of the position, so only the count is the same.
  const std::vector<float> out = convert(rate, blocks);
  const std::vector<float> whole = convert(rate, {stream});
  const double step = resampler_rate(rate) / 16000;
  if (std::ldexp(step, 10) == std::floor(std::ldexp(step, 10))) {
    FUZZ_CHECK(std::ranges::equal(out, whole, same_sample));
  }
  FUZZ_CHECK(out.size() + 1 >= whole.size() && out.size() <= whole.size() + 1);

  // Output k lies at source position k * step and needs the sample after it.
  const double room = stream.empty() ? 0 : (stream.size() - 1) / step;
  FUZZ_CHECK(out.size() <= std::ceil(room + 1e-6) && out.size() >= std::ceil(room - 1e-6));

  // References of their own. A ramp x[n] = n, cut as the stream is, through the
  // resampler alone: output k is k * step, to the rounding of t and of the sum.
  LinearResampler alone(rate);
  std::vector<float> ramp_out;
  float n = 0;
  for (const auto& block : blocks) {
    std::vector<float> ramp(block.size());
    for (float& x : ramp) x = n++;
    alone.process(ramp, ramp_out);
  }
  for (std::size_t k = 0; k < ramp_out.size(); ++k) {
    const double at = static_cast<double>(k) * step;
    FUZZ_CHECK(std::fabs(ramp_out[k] - at) <= std::ldexp(at + 1, -22));
  }
  // At 16 kHz each sample passes as it is, where a + (b - a) * 0 is a number.
  if (step == 1.0) {
    for (std::size_t k = 0; k < out.size(); ++k) {
      const float a = stream[k], difference = stream[k + 1] - a;
      FUZZ_CHECK(std::isfinite(difference) ? out[k] == a : std::isnan(out[k]));
    }
  }
  return 0;
}
