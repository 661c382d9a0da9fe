// The frame as its parent sees it: a real process behind pipes, driven by
// scripted backends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

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
std::unique_ptr<parent::Child> start(Lines arguments, parent::ChildStreams given = {}) {
  arguments.insert(arguments.begin(), std::string(SCRIPTED_HELPER_PATH));
  const char* tsan = std::getenv("TSAN_OPTIONS");
  const std::string options =
      std::string("TSAN_OPTIONS=") + (tsan ? tsan : "") + ":atexit_sleep_ms=0";
  return std::move(parent::Child::spawn(arguments, {options}, given).value());
}

using Bytes = std::vector<std::uint8_t>;

// The next line from a pipe of the test's own; nullopt at its end or deadline.
std::optional<std::string> read_line(int fd, std::string& held, Clock::time_point deadline) {
  for (;;) {
    if (const auto end = held.find('\n'); end != std::string::npos) {
      std::string line = held.substr(0, end);
      held.erase(0, end + 1);
      return line;
    }
    pollfd readable{fd, POLLIN, 0};
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    char buffer[65536];
    if (left.count() <= 0 || ::poll(&readable, 1, int(left.count())) <= 0) return std::nullopt;
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) return std::nullopt;
    held.append(buffer, std::size_t(got));
  }
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
    // A start that failed while a platform thread still calls in, too.
    const auto end = child->wait(5s);
    EXPECT_EQ(end ? end->describe() : "running", "exit status 1") << error;
    // Only a known name reaches a backend; an unknown one leaves only the boot line.
    EXPECT_EQ(child->error_text(),
              "helper: boot\n" + (row.backend.empty() ? "" : "test: start " + row.backend + "\n"));
  }
}

// What a start sends waits for "READY"; every chunk comes in order, with
// progress lines for the 1st, 200th and 400th; a failed status leaves the
// helper running, and a parent that merely stops reading does not end it.
// Both streams go into one pipe (2>&1), so its order is that of the writes;
// the parent made it non-blocking and lets it fill before reading. A
// diagnostic that finds it full is counted, not waited for; one written comes
// before the protocol line it belongs to.
TEST(RunningHelper, WritesAllInOrderAfterReadyAndRunsOnAfterAFailedStatus) {
  int merged[2];
  ASSERT_EQ(::pipe2(merged, O_CLOEXEC), 0);
  ::fcntl(merged[1], F_SETFL, O_NONBLOCK);
  auto child = start({"--script=stream", "--backend=sck"}, {merged[1], merged[1]});
  ::close(merged[1]);
  std::this_thread::sleep_for(300ms);
  const std::string failed = "STATUS failed: ScreenCaptureKit stream stopped: gone";
  // Each diagnostic of the running helper, and the protocol line it precedes.
  const std::pair<std::string, std::string> running[] = {
      {"helper: pcm frames=1 bytes=8", "PCM 1"},
      {"helper: pcm frames=200 bytes=134772", "PCM 200"},
      {"helper: pcm frames=400 bytes=271572", "PCM 400"},
      {"helper: status receiving", "STATUS receiving"},
      {"helper: status " + failed.substr(7), failed}};
  const std::string count_end = " diagnostic lines dropped (standard error was full)";
  Lines all;  // PCM lines as "PCM {number}"
  std::size_t pcm = 0, written = 0, counts = 0;
  std::uint64_t dropped = 0;
  const auto place = [&](const std::string& line) {
    return std::find(all.begin(), all.end(), line);
  };
  std::string held;
  for (const auto deadline = Clock::now() + 10s;
       pcm < 400 || place(failed) == all.end() || written + dropped < std::size(running);) {
    auto line = read_line(merged[0], held, deadline);
    ASSERT_TRUE(line) << "read " << pcm << " PCM lines; " << written << " written, " << dropped
                      << " dropped";
    if (line->starts_with("PCM ")) {
      const auto bytes = parent::decode_base64(line->substr(4)).value_or(Bytes{});
      ASSERT_EQ(bytes.size(), ++pcm <= 3 ? 8u : 684u) << pcm;
      for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], std::uint8_t(pcm + i));
      line = "PCM " + std::to_string(pcm);
    } else if (line->starts_with("helper: ") && line->ends_with(count_end)) {
      dropped += std::stoull(line->substr(8));
      counts += 1;
    }
    for (const auto& [diagnostic, protocol] : running) written += *line == diagnostic;
    all.push_back(*line);
  }
  EXPECT_EQ(Lines(all.begin(), all.begin() + 4),
            (Lines{"helper: boot", "test: start sck", "helper: ready", "READY"}));
  EXPECT_EQ(all.size(), 4 + 400 + 2 + written + counts) << "nothing else, nothing twice";
  EXPECT_EQ(written + dropped, std::size(running)) << "each written or counted";
  for (const auto& [diagnostic, protocol] : running) {
    EXPECT_EQ(std::count(all.begin(), all.end(), protocol), 1) << protocol;
    if (place(diagnostic) != all.end()) {
      EXPECT_LT(place(diagnostic), place(protocol)) << diagnostic;
    }
  }
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(child->wait(0ms), std::nullopt);
  ::close(merged[0]);

  // A status sent just before the channels close is still written.
  auto ending = start({"--script=ends"});
  const Lines ended = split_lines(ending->read_rest(Clock::now() + 10s));
  EXPECT_EQ(ended.size(), 4u);
  EXPECT_EQ(std::ranges::count(ended, "STATUS failed: CoreAudio capture stopped"), 1);
  EXPECT_EQ(ending->wait(5s).value().describe(), "exit status 0");
  EXPECT_TRUE(ending->error_text().contains("\nhelper: audio channel closed\n"));
}

// Nothing is written, so no failed write can tell: a parent that closes either
// pipe still sees exit status 2 within a second.
TEST(ParentGone, AClosedPipeEndsTheHelperWithStatusTwo) {
  const std::pair<const char*, void (parent::Child::*)()> rows[] = {
      {"--script=silent", &parent::Child::close_output},
      {"--script=silent", &parent::Child::close_errors}};
  for (const auto& [script, close] : rows) {
    auto child = start({script});
    ASSERT_EQ(child->read_line(Clock::now() + 5s), "READY") << script;
    (child.get()->*close)();
    const auto end = child->wait(1s);
    EXPECT_EQ(end ? end->describe() : "running", "exit status 2") << script;
  }
}

}  // namespace
