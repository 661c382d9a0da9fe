#include "private_audio_server.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <atomic>
#include <fstream>

#include "helper_child.h"

namespace test_support {
namespace {

// Runs the script to its end: its standard output, or its complaint.
std::expected<std::string, std::string> script(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), PRIVATE_AUDIO_SERVER_SCRIPT);
  auto child = parent::Child::spawn(arguments);
  if (!child) return std::unexpected(child.error());
  std::string out = (*child)->read_rest(std::chrono::steady_clock::now() + std::chrono::minutes(1));
  if (const auto end = (*child)->terminate(); end.describe() != "exit status 0") {
    return std::unexpected(arguments[1] + ": " + end.describe() + ": " + (*child)->error_text());
  }
  return out;
}

}  // namespace

std::expected<std::unique_ptr<PrivateAudioServer>, std::string> PrivateAudioServer::start(
    Options options) {
  // The script leaves the server behind as an orphan: adopt it, so that stop()
  // can reap it rather than leave a zombie.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  char directory[] = "/tmp/vantle-pa.XXXXXX";
  if (mkdtemp(directory) == nullptr) return std::unexpected(std::string("mkdtemp failed"));
  auto out =
      script({"start", directory,
              options.null_sink ? "--rate=" + std::to_string(options.sink_rate) : "--no-sink"});
  if (!out) return std::unexpected(out.error());
  std::unique_ptr<PrivateAudioServer> server(new PrivateAudioServer());
  server->directory_ = directory;
  server->address_ = out->substr(out->find('=') + 1, out->find('\n') - out->find('=') - 1);
  std::ifstream(server->directory_ / "pid") >> server->pid_;
  return server;
}

PrivateAudioServer::~PrivateAudioServer() {
  stop();
}

void PrivateAudioServer::stop() {
  if (pid_ <= 0) return;
  (void)script({"stop", directory_.string()});
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void PrivateAudioServer::freeze() {
  if (pid_ > 0) kill(pid_, SIGSTOP);
}

void PrivateAudioServer::thaw() {
  if (pid_ > 0) kill(pid_, SIGCONT);
}

void PrivateAudioServer::use_in_this_process() const {
  setenv("PULSE_SERVER", address_.c_str(), 1);
}

std::expected<void, std::string> PrivateAudioServer::play(
    const std::vector<float>& interleaved_stereo) const {
  static std::atomic<unsigned> counter{0};
  const auto sound = directory_ / ("sound-" + std::to_string(counter++) + ".raw");
  std::ofstream(sound).write(reinterpret_cast<const char*>(interleaved_stereo.data()),
                             std::streamsize(interleaved_stereo.size() * sizeof(float)));
  auto played = script({"play", directory_.string(), sound.string()});
  std::filesystem::remove(sound);
  if (!played) return std::unexpected(played.error());
  return {};
}

std::expected<void, std::string> PrivateAudioServer::kill_record_streams() const {
  auto killed = script({"kill-record-streams", directory_.string()});
  if (!killed) return std::unexpected(killed.error());
  return {};
}

}  // namespace test_support
