#pragma once

#include <cstdint>
#include <cstdio>
#include <expected>
#include <memory>
#include <span>
#include <string>

namespace parent {

enum class WavFormat { float32, pcm16 };

// A mono WAV file at 16000 Hz written as the samples arrive. The header's
// sizes stay valid for what has been written whenever finish() runs, so a
// recording that is interrupted still reads back.
class WavWriter {
 public:
  static std::expected<WavWriter, std::string> create(const std::string& path, WavFormat format);

  // Appends samples (pcm16: clipped to [-1, 1]); an error text when the disk
  // refuses them or the file would pass the 4 GiB a WAV size field can hold.
  std::expected<void, std::string> write(std::span<const float> samples);
  // Writes the sizes into the header and closes the file.
  std::expected<void, std::string> finish();

  std::uint64_t frames() const { return frames_; }

 private:
  struct Close {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  std::unique_ptr<std::FILE, Close> file_;
  std::string path_;
  WavFormat format_ = WavFormat::float32;
  std::uint64_t frames_ = 0;
};

}  // namespace parent
