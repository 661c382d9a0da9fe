// The frame as its parent sees it: a real process behind pipes, driven by
// scripted backends.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "helper_child.h"
#include "lines.h"
#include "protocol_reader.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

// A sanitized helper must exit when it exits, not sleep while threads run.
std::unique_ptr<parent::Child> start(Lines arguments) {
  arguments.insert(arguments.begin(), std::string(SCRIPTED_HELPER_PATH));
  const char* tsan = std::getenv("TSAN_OPTIONS");
  const std::string options =
      std::string("TSAN_OPTIONS=") + (tsan ? tsan : "") + ":atexit_sleep_ms=0";
  return std::move(parent::Child::spawn(arguments, {options}).value());
}

TEST(CommandLine, ChoosesExactlyOneBackendOrNamesTheUnknownOne) {
  const struct {
    Lines arguments;
    std::string backend;  // the one started; empty: the name below is unknown
    std::string name = "";
  } rows[] = {
      {{}, "coreaudio"},
      {{"--backend=coreaudio"}, "coreaudio"},
      {{"--backend=sck"}, "sck"},
      {{"--backend", "sck"}, "coreaudio"},
      {{"--backend=sck", "--backend=coreaudio"}, "sck"},
      {{"-v", "sck", "--backend=sck", "extra"}, "sck"},
      {{"--backend=SCK"}, "", "SCK"},
      {{"--backend= sck"}, "", " sck"},
      {{"--backend=sck "}, "", "sck "},
      {{"--backend="}, "", ""},
      {{"--backend=pulse", "--backend=sck"}, "", "pulse"},
  };
  for (const auto& row : rows) {
    auto arguments = row.arguments;
    arguments.push_back("--script=fail");
    auto child = start(arguments);
    // Line breaks inside an error text become blanks: one line stays one line.
    const std::string error = row.backend.empty() ? "unknown computer-audio backend: " + row.name
                                                  : row.backend + " refused: next line  ünïcödé";
    EXPECT_EQ(child->read_rest(Clock::now() + 10s), "ERROR " + error + "\n");
    EXPECT_EQ(child->wait(5s).value().describe(), "exit status 1") << error;
    // Only a known name reaches a backend; an unknown one leaves only the boot line.
    EXPECT_EQ(child->error_text(),
              "helper: boot\n" + (row.backend.empty() ? "" : "test: start " + row.backend + "\n"));
  }
}

// What a start sends waits for "READY"; every chunk comes in order, with
// progress lines for the 1st, 200th and 400th; a failed status leaves the
// helper running, and a parent that merely stops reading does not end it.
TEST(RunningHelper, WritesAllInOrderAfterReadyAndRunsOnAfterAFailedStatus) {
  auto child = start({"--script=stream", "--backend=sck"});
  Lines out;
  while (out.size() < 403) out.push_back(child->read_line(Clock::now() + 10s).value_or("(none)"));
  EXPECT_EQ(out.front(), "READY");
  EXPECT_EQ(std::count(out.begin(), out.end(), "STATUS receiving"), 1);
  EXPECT_EQ(
      std::count(out.begin(), out.end(), "STATUS failed: ScreenCaptureKit stream stopped: gone"),
      1);
  std::uint32_t n = 0;
  for (const auto& line : out) {
    if (!line.starts_with("PCM ")) continue;
    const auto bytes = parent::decode_base64(line.substr(4)).value_or(std::vector<std::uint8_t>{});
    ASSERT_EQ(bytes.size(), ++n <= 3 ? 8u : 684u) << n;
    for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], std::uint8_t(n + i)) << n;
  }
  EXPECT_EQ(n, 400u);
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(child->wait(0ms), std::nullopt);
  // The status writer and the pump are two threads: their lines interleave freely.
  Lines err = split_lines(child->error_text());
  std::sort(err.begin() + std::min<std::size_t>(3, err.size()), err.end());
  EXPECT_EQ(err, (Lines{"helper: boot", "test: start sck", "helper: ready",
                        "helper: pcm frames=1 bytes=8", "helper: pcm frames=200 bytes=134772",
                        "helper: pcm frames=400 bytes=271572",
                        "helper: status failed: ScreenCaptureKit stream stopped: gone",
                        "helper: status receiving"}));

  auto ending = start({"--script=ends"});
  EXPECT_EQ(split_lines(ending->read_rest(Clock::now() + 10s)).size(), 3u);
  EXPECT_EQ(ending->wait(5s).value().describe(), "exit status 0");
  EXPECT_EQ(split_lines(ending->error_text()).back(), "helper: audio channel closed");
}

}  // namespace
