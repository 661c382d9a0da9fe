// Any source rate and any stream, cut into buffers anywhere, through the step
// that the capture callback runs: the buffers give, bit for bit, what one
// buffer holding the whole stream gives, "receiving" once when there is audio,
// and never more samples than the rate allows.
#include <limits>

#include "fuzz_target.h"
#include "system_audio/conversion/capture_state.h"

using namespace system_audio;

// One capture state fed the blocks as mono buffers: its chunks joined, then its status texts.
static std::pair<PcmChunk, std::string> capture(double rate,
                                                const std::vector<std::vector<float>>& blocks) {
  auto [pcm_tx, pcm_rx] = make_channel<PcmChunk>();
  auto [status_tx, status_rx] = make_channel<StatusText>();
  {
    SckAudioOutput state{.pcm_tx = std::move(pcm_tx), .status_tx = std::move(status_tx)};
    for (const auto& block : blocks) {
      AudioBufferList list{
          1, {{1, static_cast<std::uint32_t>(4 * block.size()), const_cast<float*>(block.data())}}};
      process_sck_input(state, list, rate);
    }
  }
  std::pair<PcmChunk, std::string> out;
  while (const auto chunk = pcm_rx.receive()) {
    FUZZ_CHECK(!chunk->empty() && chunk->size() % 4 == 0);
    out.first.insert(out.first.end(), chunk->begin(), chunk->end());
  }
  while (const auto text = status_rx.receive()) out.second += *text + "\n";
  return out;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
  constexpr double kRates[] = {
      0,     -0.0,  kInf,  -kInf, 5e-324, 1e300,  1e-3,    8000,
      16000, 22050, 44100, 48000, 96000,  192000, 17000.3, 16000.000000000004,
      kNan};
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
  const auto [bytes, statuses] = capture(rate, blocks);
  FUZZ_CHECK(capture(rate, {stream}) == std::pair(bytes, statuses));
  FUZZ_CHECK(statuses == (bytes.empty() ? "" : "receiving\n"));

  // Output k lies at source position k * step and needs the sample after it.
  const double room = stream.empty() ? 0 : (stream.size() - 1) / (resampler_rate(rate) / 16000);
  FUZZ_CHECK(bytes.size() / 4 <= std::ceil(room + 1e-6) &&
             bytes.size() / 4 >= std::ceil(room - 1e-6));
  return 0;
}
