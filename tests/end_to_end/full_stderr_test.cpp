// A parent that pipes standard error and never reads it (the default of most
// process APIs) still gets its audio. The pipe, one page, is full before the
// helper starts: PCM still comes unbroken at 16000 samples a second, and once
// the pipe is read one whole line counts every diagnostic it could not take.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <future>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

constexpr std::size_t kPage = 4096;
const std::string kDroppedEnd = " diagnostic lines dropped (standard error was full)";

double seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

// `before_audio`: the diagnostics due before the first progress line.
void stream_with_full_stderr(const PrivateAudioServer& server, const char* argument,
                             std::uint64_t before_audio) {
  int errors[2];
  ASSERT_EQ(::pipe2(errors, O_CLOEXEC), 0);
  ASSERT_EQ(::fcntl(errors[1], F_SETPIPE_SZ, int(kPage)), int(kPage));
  ASSERT_EQ(::write(errors[1], std::string(kPage, '.').data(), kPage), ssize_t(kPage));
  auto helper = start_helper(server.environment_entry(), {argument}, {-1, errors[1]});
  ::close(errors[1]);

  // Standard error is read from a point of the run just before a progress
  // line is due (every 200 chunks), which then follows the count at once.
  Captured out;
  const auto& at = out.chunk_read_at;
  const auto span = [&] { return at.empty() ? 0s : at.back() - at.front(); };
  std::string err;
  read_until(*helper, out, 16s, [&] {
    if (span() >= 8s && (!err.empty() || out.reader.pcm_lines() % 200 >= 180)) {
      char buffer[kPage];
      for (pollfd in{errors[0], POLLIN, 0}; ::poll(&in, 1, 0) == 1;) {
        const ssize_t got = ::read(errors[0], buffer, sizeof buffer);
        err.append(buffer, std::size_t(std::max<ssize_t>(got, 0)));
        if (got <= 0) break;
      }
    }
    const auto count = err.find(kDroppedEnd);
    return span() >= 10s && count != std::string::npos &&
           err.find("helper: pcm frames=", count) != std::string::npos && err.back() == '\n';
  });
  ::close(errors[0]);
  EXPECT_GE(seconds(span()), 10.0) << argument;
  const auto& reader = out.reader;
  EXPECT_TRUE(reader.ready() && !reader.error() && reader.bad_lines() == 0) << argument;
  EXPECT_EQ(reader.statuses(), std::vector<std::string>{"receiving"}) << argument;
  const auto& ends = reader.chunk_ends();
  ASSERT_GE(ends.size(), 2u) << argument;
  EXPECT_NEAR(double(ends.back() - ends.front()) / seconds(span()), 16000.0, 16000.0 * 0.05)
      << argument;
  for (std::size_t i = 1; i < at.size(); ++i) {
    ASSERT_LT(seconds(at[i] - at[i - 1]), 0.5) << argument << ": a gap before chunk " << i;
  }

  // Every line due before that progress line was dropped, and counted once.
  ASSERT_TRUE(err.starts_with(std::string(kPage, '.'))) << argument;
  const auto lines = split_lines(err.substr(kPage));
  std::uint64_t dropped = 0, frames = 0;
  ASSERT_EQ(lines.size() >= 2 && std::sscanf(lines[0].c_str(), "helper: %" SCNu64, &dropped) == 1 &&
                std::sscanf(lines[1].c_str(), "helper: pcm frames=%" SCNu64, &frames) == 1,
            true)
      << argument << ":\n"
      << err.substr(kPage);
  EXPECT_EQ(lines[0], "helper: " + std::to_string(dropped) + kDroppedEnd);
  EXPECT_EQ(dropped, before_audio + frames / 200) << argument;
}

TEST(FullStandardError, AudioFlowsUnbrokenAndTheDroppedLinesAreCountedOnceRead) {
  auto server = start_server();
  ASSERT_TRUE(server);
  // Before audio: boot, the start's steps (17 for sck, 8 for coreaudio),
  // "ready", "receiving", and sck's rate line.
  auto sck = std::async(std::launch::async,
                        [&] { stream_with_full_stderr(*server, "--backend=sck", 21); });
  stream_with_full_stderr(*server, "--backend=coreaudio", 11);
  sck.get();
}

}  // namespace
}  // namespace end_to_end
