#include "wav_writer.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

namespace parent {
namespace {

constexpr std::uint32_t kRate = 16000;
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
// Float files carry the 18-byte format chunk and a fact chunk that formats
// other than plain PCM require.
constexpr std::size_t kFloatHeader = 58;
constexpr std::size_t kPcmHeader = 44;
constexpr std::uint64_t kLargestRiff = 0xFFFFFFFFu;

void put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(std::uint8_t(value));
  out.push_back(std::uint8_t(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  put16(out, std::uint16_t(value));
  put16(out, std::uint16_t(value >> 16));
}

void put_tag(std::vector<std::uint8_t>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(tag[i]));
}

std::uint16_t bytes_per_sample(WavFormat format) {
  return format == WavFormat::float32 ? 4 : 2;
}

std::size_t header_size(WavFormat format) {
  return format == WavFormat::float32 ? kFloatHeader : kPcmHeader;
}

std::vector<std::uint8_t> header(WavFormat format, std::uint64_t frames) {
  const bool is_float = format == WavFormat::float32;
  const std::uint16_t width = bytes_per_sample(format);
  const auto data_bytes = std::uint32_t(frames * width);
  std::vector<std::uint8_t> out;
  put_tag(out, "RIFF");
  put32(out, std::uint32_t(header_size(format) - 8 + data_bytes));
  put_tag(out, "WAVE");
  put_tag(out, "fmt ");
  put32(out, is_float ? 18 : 16);
  put16(out, is_float ? kFormatFloat : kFormatPcm);
  put16(out, 1);  // mono
  put32(out, kRate);
  put32(out, kRate * width);  // bytes per second
  put16(out, width);          // bytes per frame
  put16(out, std::uint16_t(8 * width));
  if (is_float) {
    put16(out, 0);  // no extension
    put_tag(out, "fact");
    put32(out, 4);
    put32(out, std::uint32_t(frames));
  }
  put_tag(out, "data");
  put32(out, data_bytes);
  return out;
}

std::string failure(const std::string& path) {
  return "cannot write " + path + ": " + std::strerror(errno);
}

}  // namespace

std::expected<WavWriter, std::string> WavWriter::create(const std::string& path, WavFormat format) {
  WavWriter writer;
  writer.file_.reset(std::fopen(path.c_str(), "wb"));
  if (!writer.file_) return std::unexpected(failure(path));
  writer.path_ = path;
  writer.format_ = format;
  const auto empty = header(format, 0);
  if (std::fwrite(empty.data(), 1, empty.size(), writer.file_.get()) != empty.size()) {
    return std::unexpected(failure(path));
  }
  return writer;
}

std::expected<void, std::string> WavWriter::write(std::span<const float> samples) {
  const std::uint16_t width = bytes_per_sample(format_);
  if (header_size(format_) - 8 + (frames_ + samples.size()) * width > kLargestRiff) {
    return std::unexpected(path_ + " is full: a WAV file holds at most 4 GiB");
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(samples.size() * width);
  for (const float sample : samples) {
    if (format_ == WavFormat::float32) {
      std::uint32_t bits;
      std::memcpy(&bits, &sample, sizeof bits);
      put32(bytes, bits);
    } else {
      const float clipped = std::isnan(sample) ? 0.0f : std::fmax(-1.0f, std::fmin(1.0f, sample));
      put16(bytes, std::uint16_t(std::int16_t(std::lrint(clipped * 32767.0f))));
    }
  }
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) {
    return std::unexpected(failure(path_));
  }
  frames_ += samples.size();
  return {};
}

std::expected<void, std::string> WavWriter::finish() {
  const auto sizes = header(format_, frames_);
  std::FILE* file = file_.get();
  const bool written = std::fseek(file, 0, SEEK_SET) == 0 &&
                       std::fwrite(sizes.data(), 1, sizes.size(), file) == sizes.size();
  const bool closed = std::fclose(file_.release()) == 0;
  if (!written || !closed) return std::unexpected(failure(path_));
  return {};
}

}  // namespace parent
