// The frame as its parent sees it: a real process behind pipes, driven by
// scripted backends.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "helper_child.h"
#include "protocol_reader.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::unique_ptr<parent::Child> start(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), std::string(SCRIPTED_HELPER_PATH));
  auto child = parent::Child::spawn(arguments);
  if (!child) throw std::runtime_error(child.error());
  return std::move(*child);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Finished {
  std::vector<std::string> out;
  std::vector<std::string> err = {};
  int status = -1;
};

Finished run_to_end(std::vector<std::string> arguments) {
  auto child = start(std::move(arguments));
  Finished run{lines_of(child->read_rest(Clock::now() + 20s))};
  const auto end = child->wait(5s);
  run.err = lines_of(child->error_text());
  if (end && end->exited()) run.status = end->exit_status();
  return run;
}

std::vector<std::uint8_t> numbered_chunk(std::uint32_t number, std::size_t size) {
  std::vector<std::uint8_t> chunk(size);
  for (std::size_t i = 0; i < size; ++i) chunk[i] = static_cast<std::uint8_t>(number + i);
  return chunk;
}

std::vector<std::string> pcm_payloads(const std::vector<std::string>& lines) {
  std::vector<std::string> payloads;
  for (const auto& line : lines) {
    if (line.starts_with("PCM ")) payloads.push_back(line.substr(4));
  }
  return payloads;
}

long index_of(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) - lines.begin();
}

TEST(CommandLine, ChoosesExactlyOneBackendOrNamesTheUnknownOne) {
  const struct {
    std::vector<std::string> arguments;
    std::string backend;  // the one started; empty: the name is unknown
    std::string name;
  } rows[] = {
      {{}, "coreaudio", ""},
      {{"--backend=coreaudio"}, "coreaudio", ""},
      {{"--backend=sck"}, "sck", ""},
      {{"--backend", "sck"}, "coreaudio", ""},
      {{"--backend=sck", "--backend=coreaudio"}, "sck", ""},
      {{"-v", "sck", "--backend=sck", "extra"}, "sck", ""},
      {{"--backend=SCK"}, "", "SCK"},
      {{"--backend= sck"}, "", " sck"},
      {{"--backend=sck "}, "", "sck "},
      {{"--backend="}, "", ""},
      {{"--backend=pulse", "--backend=sck"}, "", "pulse"},
  };
  for (const auto& row : rows) {
    auto arguments = row.arguments;
    arguments.push_back("--script=fail");
    const Finished run = run_to_end(arguments);
    // Line breaks inside an error text become blanks: one line stays one line.
    const std::string error = row.backend.empty()
                                  ? "unknown computer-audio backend: " + row.name
                                  : row.backend + " refused: second line  with ünïcödé";
    EXPECT_EQ(run.out, std::vector<std::string>{"ERROR " + error});
    EXPECT_EQ(run.status, 1) << error;
    // Only a known name reaches a backend; an unknown one leaves only the boot line.
    std::vector<std::string> err{"helper: boot"};
    if (!row.backend.empty()) err.push_back("test: start " + row.backend);
    EXPECT_EQ(run.err, err) << error;
  }
}

TEST(RunningHelper, WhatWasSentBeforeReadyIsWrittenAfterItInOrder) {
  const Finished run = run_to_end({"--script=early,chunks=2,size=8"});
  ASSERT_EQ(run.status, 0);
  ASSERT_EQ(run.out.size(), 7u);
  EXPECT_EQ(run.out.front(), "READY");
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), "STATUS receiving"), 1);
  const auto payloads = pcm_payloads(run.out);
  ASSERT_EQ(payloads.size(), 5u);
  for (std::uint32_t n = 1; n <= 5; ++n) {
    EXPECT_EQ(parent::decode_base64(payloads[n - 1]), numbered_chunk(n, 8)) << n;
  }
  ASSERT_GE(run.err.size(), 6u);
  EXPECT_EQ(std::vector(run.err.begin(), run.err.begin() + 3),
            (std::vector<std::string>{"helper: boot", "test: start coreaudio", "helper: ready"}));
  EXPECT_LT(index_of(run.err, "helper: status receiving"), long(run.err.size()));
  EXPECT_LT(index_of(run.err, "helper: pcm frames=1 bytes=8"),
            index_of(run.err, "helper: audio channel closed"));
}

TEST(RunningHelper, FourHundredChunksGiveThreeProgressLinesAndAllChunksBeforeClosing) {
  const Finished run = run_to_end({"--script=plain,chunks=400,size=684"});
  ASSERT_EQ(run.status, 0);
  ASSERT_EQ(run.out.size(), 401u);
  EXPECT_EQ(run.out.front(), "READY");
  const auto payloads = pcm_payloads(run.out);
  ASSERT_EQ(payloads.size(), 400u);
  for (std::uint32_t n = 1; n <= 400; ++n) {
    ASSERT_EQ(parent::decode_base64(payloads[n - 1]), numbered_chunk(n, 684)) << n;
  }
  EXPECT_EQ(run.err, (std::vector<std::string>{
                         "helper: boot", "test: start coreaudio", "helper: ready",
                         "helper: pcm frames=1 bytes=684", "helper: pcm frames=200 bytes=136800",
                         "helper: pcm frames=400 bytes=273600", "helper: audio channel closed"}));
}

TEST(RunningHelper, AFailedStatusIsReportedAndTheHelperKeepsRunning) {
  auto child = start({"--script=stream-stopped,chunks=3", "--backend=sck"});
  std::vector<std::string> lines;
  while (auto line = child->read_line(Clock::now() + (lines.size() < 5 ? 5s : 300ms))) {
    lines.push_back(*line);
  }
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines.front(), "READY");
  EXPECT_EQ(index_of(lines, "STATUS failed: ScreenCaptureKit stream stopped: gone") > 0, true);
  EXPECT_EQ(pcm_payloads(lines).size(), 3u);
  EXPECT_EQ(child->wait(0ms), std::nullopt);
}

// Whether anything is written or not, a parent that closes either pipe sees
// exit status 2 within a second; one that merely stops reading does not.
TEST(ParentGone, ClosedPipesEndTheHelperWithStatusTwoStoppedReadingDoesNot) {
  const struct {
    const char* script;
    void (parent::Child::*close)();  // null: stop reading, close nothing
  } rows[] = {
      {"--script=silent", &parent::Child::close_output},
      {"--script=silent", &parent::Child::close_errors},
      {"--script=forever", &parent::Child::close_output},
      {"--script=forever", nullptr},
      {"--script=silent", nullptr},
  };
  for (const auto& row : rows) {
    auto child = start({row.script});
    ASSERT_EQ(child->read_line(Clock::now() + 5s), "READY") << row.script;
    if (row.close == nullptr) {
      std::this_thread::sleep_for(2s);
      EXPECT_EQ(child->wait(0ms), std::nullopt) << row.script << " ended though still read";
      continue;
    }
    (child.get()->*row.close)();
    const auto end = child->wait(1s);
    ASSERT_TRUE(end) << row.script << ": still running a second after the pipe closed";
    EXPECT_EQ(end->describe(), "exit status 2") << row.script;
  }
}

}  // namespace
