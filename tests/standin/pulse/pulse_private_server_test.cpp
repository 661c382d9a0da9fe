// The private server that the audio tests run against: its own socket and
// directory, a default null sink, sound played into it, and nothing left behind once it is stopped.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "private_audio_server.h"

namespace {

using test_support::PrivateAudioServer;

// Runs a shell command and returns its standard output (exit status in *status).
std::string run(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[256];
  while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr) out += buffer;
  const int raw = pclose(pipe);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

TEST(PrivateAudioServer, TwoAnswerSideBySideOnTheirOwnSocketsWithTheNullSinkAsDefaultAndPlay) {
  auto first = PrivateAudioServer::start();
  auto second = PrivateAudioServer::start();
  ASSERT_TRUE(first.has_value()) << first.error();
  ASSERT_TRUE(second.has_value()) << second.error();
  EXPECT_NE((*first)->address(), (*second)->address());
  for (const auto* server : {&*first, &*second}) {
    EXPECT_EQ((*server)->address(), "unix:" + ((*server)->directory() / "native").string());
    int status = -1;
    const std::string info = run((*server)->environment_entry() + " pactl info 2>&1", &status);
    EXPECT_EQ(status, 0) << info;
    EXPECT_NE(info.find("Default Sink: vantle_null"), std::string::npos) << info;
    const std::string sinks =
        run((*server)->environment_entry() + " pactl list short sinks 2>&1", &status);
    EXPECT_NE(sinks.find("float32le 2ch 48000Hz"), std::string::npos) << sinks;
  }
  auto played = (*first)->play(test_support::stereo_sine(440, 0.25, 4800));  // to its end
  EXPECT_TRUE(played.has_value()) << played.error();
}

TEST(PrivateAudioServer, StoppingEndsTheProcessAndRemovesItsDirectoryEvenWhenFrozen) {
  for (const bool frozen : {false, true}) {
    std::filesystem::path directory;
    pid_t pid = -1;
    {
      auto server = PrivateAudioServer::start();
      ASSERT_TRUE(server.has_value()) << server.error();
      directory = (*server)->directory();
      pid = (*server)->pid();
      ASSERT_GT(pid, 0);
      if (frozen) (*server)->freeze();
    }
    EXPECT_FALSE(std::filesystem::exists(directory)) << frozen;
    // Reaped by the destructor: no such process any more.
    EXPECT_EQ(kill(pid, 0), -1) << frozen;
    EXPECT_EQ(errno, ESRCH);
  }
}

TEST(PrivateAudioServerScript, StartsAServerThatAnswersAndStopRemovesTheDirectory) {
  char pattern[] = "/tmp/vantle-script.XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string directory = std::string(pattern) + "/server";
  const std::string script = PRIVATE_AUDIO_SERVER_SCRIPT;
  int status = -1;
  const std::string line = run(script + " start " + directory + " 2>&1", &status);
  ASSERT_EQ(status, 0) << line;
  EXPECT_EQ(line, "PULSE_SERVER=unix:" + directory + "/native\n");
  const std::string info = run(line.substr(0, line.size() - 1) + " pactl info 2>&1", &status);
  EXPECT_EQ(status, 0) << info;
  run(script + " stop " + directory + " 2>&1", &status);
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(std::filesystem::exists(directory));
  std::filesystem::remove(pattern);
}

}  // namespace
