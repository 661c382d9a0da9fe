// The frame as its parent sees it: a real process behind pipes, driven by
// scripted backends.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "child_process.h"
#include "protocol_reader.h"

namespace {

using namespace std::chrono_literals;
using parent::decode_base64;
using test_support::ChildProcess;
using test_support::run_to_end;
using test_support::split_lines;

std::vector<std::string> helper(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), SCRIPTED_HELPER_PATH);
  return arguments;
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

long count_of(const std::vector<std::string>& lines, const std::string& wanted) {
  return std::count(lines.begin(), lines.end(), wanted);
}

// --- The command line chooses exactly one backend --------------------------

struct Selection {
  std::vector<std::string> arguments;
  std::string expected_error;  // the whole ERROR line text after "ERROR "
  bool backend_runs;
};

class BackendSelection : public testing::TestWithParam<Selection> {};

TEST_P(BackendSelection, WritesOneErrorLineNamingTheChosenBackend) {
  const Selection& selection = GetParam();
  auto arguments = selection.arguments;
  arguments.push_back("--script=fail");
  const auto run = run_to_end(helper(arguments), 10s);
  EXPECT_EQ(run.out, "ERROR " + selection.expected_error + "\n");
  EXPECT_EQ(run.exit_status, 1);
  const auto diagnostics = split_lines(run.err);
  ASSERT_FALSE(diagnostics.empty());
  EXPECT_EQ(diagnostics.front(), "helper: boot");
  // Only a known name reaches a backend; an unknown one leaves nothing but the boot line.
  EXPECT_EQ(diagnostics.size(), selection.backend_runs ? 2u : 1u) << run.err;
}

const char* const refused = " refused: second line  with ünïcödé";

INSTANTIATE_TEST_SUITE_P(
    CommandLine, BackendSelection,
    testing::Values(
        Selection{{}, std::string("coreaudio") + refused, true},
        Selection{{"--backend=coreaudio"}, std::string("coreaudio") + refused, true},
        Selection{{"--backend=sck"}, std::string("sck") + refused, true},
        Selection{{"--backend", "sck"}, std::string("coreaudio") + refused, true},
        Selection{{"--backend=sck", "--backend=coreaudio"}, std::string("sck") + refused, true},
        Selection{{"-v", "sck", "--backend=sck", "extra"}, std::string("sck") + refused, true},
        Selection{{"--backend=SCK"}, "unknown computer-audio backend: SCK", false},
        Selection{{"--backend= sck"}, "unknown computer-audio backend:  sck", false},
        Selection{{"--backend=sck "}, "unknown computer-audio backend: sck ", false},
        Selection{{"--backend="}, "unknown computer-audio backend: ", false},
        Selection{
            {"--backend=pulse", "--backend=sck"}, "unknown computer-audio backend: pulse", false}));

// --- A running helper: READY, statuses, chunks, teardown --------------------

TEST(RunningHelper, ChunksAndStatusSentBeforeReadyAreWrittenAfterItInOrder) {
  const auto run = run_to_end(helper({"--script=early,chunks=2,size=8"}), 10s);
  ASSERT_EQ(run.exit_status, 0) << run.err;
  const auto lines = split_lines(run.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "READY");
  EXPECT_EQ(count_of(lines, "READY"), 1);
  EXPECT_EQ(count_of(lines, "STATUS receiving"), 1);
  const auto payloads = pcm_payloads(lines);
  ASSERT_EQ(payloads.size(), 5u);
  for (std::uint32_t n = 1; n <= 5; ++n) {
    EXPECT_EQ(decode_base64(payloads[n - 1]), numbered_chunk(n, 8)) << "chunk " << n;
  }
  EXPECT_EQ(lines.size(), 7u) << run.out;

  const auto diagnostics = split_lines(run.err);
  const auto at = [&](const std::string& line) {
    return std::find(diagnostics.begin(), diagnostics.end(), line) - diagnostics.begin();
  };
  EXPECT_EQ(diagnostics[0], "helper: boot");
  EXPECT_EQ(diagnostics[1], "test: start coreaudio");
  EXPECT_EQ(diagnostics[2], "helper: ready");
  EXPECT_GT(at("helper: status receiving"), at("helper: ready"));
  EXPECT_LT(at("helper: status receiving"), static_cast<long>(diagnostics.size()));
  EXPECT_EQ(count_of(diagnostics, "helper: pcm frames=1 bytes=8"), 1);
  // The status writer may still be finishing while the pump closes; both end up written.
  EXPECT_EQ(count_of(diagnostics, "helper: audio channel closed"), 1);
  EXPECT_GT(at("helper: audio channel closed"), at("helper: pcm frames=1 bytes=8"));
}

TEST(RunningHelper, FourHundredChunksGiveThreeProgressLinesAndAllChunksBeforeClosing) {
  const auto run = run_to_end(helper({"--script=plain,chunks=400,size=684"}), 20s);
  ASSERT_EQ(run.exit_status, 0) << run.err;
  const auto lines = split_lines(run.out);
  ASSERT_EQ(lines.size(), 401u);
  EXPECT_EQ(lines.front(), "READY");
  const auto payloads = pcm_payloads(lines);
  ASSERT_EQ(payloads.size(), 400u);
  for (std::uint32_t n = 1; n <= 400; ++n) {
    ASSERT_EQ(payloads[n - 1].size(), 912u);
    ASSERT_EQ(decode_base64(payloads[n - 1]), numbered_chunk(n, 684)) << "chunk " << n;
  }

  std::vector<std::string> progress;
  for (const auto& line : split_lines(run.err)) {
    if (line.starts_with("helper: pcm ")) progress.push_back(line);
  }
  EXPECT_EQ(progress, (std::vector<std::string>{"helper: pcm frames=1 bytes=684",
                                                "helper: pcm frames=200 bytes=136800",
                                                "helper: pcm frames=400 bytes=273600"}));
  EXPECT_EQ(split_lines(run.err).back(), "helper: audio channel closed");
}

TEST(RunningHelper, OneSampleChunkIsEightBase64CharactersWithTwoPads) {
  const auto run = run_to_end(helper({"--script=plain,chunks=1,size=4", "--backend=sck"}), 10s);
  ASSERT_EQ(run.exit_status, 0) << run.err;
  const auto lines = split_lines(run.out);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "PCM AQIDBA==");
}

TEST(RunningHelper, AFailedStatusIsReportedAndTheHelperKeepsRunning) {
  ChildProcess child(helper({"--script=stream-stopped,chunks=3", "--backend=sck"}));
  std::vector<std::string> lines;
  // The STATUS line and the PCM lines come from two threads, in either order.
  while (lines.size() < 5) {
    auto line = child.read_line(5s);
    if (!line) break;
    lines.push_back(*line);
  }
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines.front(), "READY");
  EXPECT_EQ(count_of(lines, "STATUS failed: ScreenCaptureKit stream stopped: gone"), 1);
  EXPECT_EQ(pcm_payloads(lines).size(), 3u);
  // Nothing more is written, and nothing ends the process from inside.
  EXPECT_EQ(child.read_line(300ms), std::nullopt);
  EXPECT_EQ(child.wait_exit(100ms), std::nullopt);
  EXPECT_NE(child.error_text().find("helper: status failed: ScreenCaptureKit stream stopped: gone"),
            std::string::npos);
}

TEST(RunningHelper, EndsWithNonZeroStatusWhenTheParentStopsReading) {
  ChildProcess child(helper({"--script=forever"}));
  ASSERT_EQ(child.read_line(5s), "READY");
  ASSERT_TRUE(child.read_line(5s).has_value());
  child.close_output();
  const auto status = child.wait_exit(5s);
  ASSERT_TRUE(status.has_value()) << "still running, or killed by a signal";
  EXPECT_NE(*status, 0);
}

}  // namespace
