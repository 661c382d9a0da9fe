#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parent {

// Strict RFC 4648 (section 4) decoding: nullopt for a character outside the
// alphabet, a length that is not a multiple of 4, or misplaced padding.
std::optional<std::vector<std::uint8_t>> decode_base64(std::string_view text);

// The samples of a "PCM " line's payload (little-endian f32); nullopt when it
// does not decode into at least one whole sample.
std::optional<std::vector<float>> decode_pcm_payload(std::string_view base64);

// What a parent learns from the helper's standard output: the protocol lines
// taken apart and every PCM payload decoded into one continuous stream.
class ProtocolReader {
 public:
  // Feeds bytes as they come from the pipe; whole lines are handled at once,
  // a partial line waits for the rest.
  void feed(std::string_view bytes);

  bool ready() const { return ready_; }
  // "READY" that was not the first line, or came twice.
  bool ready_out_of_place() const { return ready_out_of_place_; }
  std::size_t pcm_lines() const { return pcm_lines_; }
  const std::vector<std::string>& statuses() const { return statuses_; }
  const std::optional<std::string>& error() const { return error_; }
  // Lines that are not protocol lines, or PCM payloads that do not decode
  // into whole little-endian float samples.
  std::size_t bad_lines() const { return bad_lines_; }
  // The decoded samples, mono, 16000 Hz, in order.
  const std::vector<float>& samples() const { return samples_; }
  // Stream index of each decoded sample's chunk end, one per PCM line:
  // chunk_ends()[k] is the number of samples decoded up to and including line k.
  const std::vector<std::size_t>& chunk_ends() const { return chunk_ends_; }

 private:
  void line(std::string_view text);

  std::string partial_;
  std::size_t lines_ = 0;
  bool ready_ = false;
  bool ready_out_of_place_ = false;
  std::size_t pcm_lines_ = 0;
  std::vector<std::string> statuses_;
  std::optional<std::string> error_;
  std::size_t bad_lines_ = 0;
  std::vector<float> samples_;
  std::vector<std::size_t> chunk_ends_;
};

}  // namespace parent
