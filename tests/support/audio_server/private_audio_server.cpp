#include "private_audio_server.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <optional>
#include <sstream>
#include <thread>

namespace test_support {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kStartBound = 10s;
constexpr auto kTermBound = 3s;
constexpr auto kPollStep = 10ms;
// pacat drains before it exits; on a loaded machine that can lag the sound.
constexpr auto kPlayMargin = 10s;

// Owns the argv/envp arrays for exec, built before fork so that the child does
// nothing but async-signal-safe calls.
class ExecImage {
 public:
  ExecImage(std::vector<std::string> arguments, std::vector<std::string> environment)
      : arguments_(std::move(arguments)), environment_(std::move(environment)) {
    for (auto& a : arguments_) argv_.push_back(a.data());
    argv_.push_back(nullptr);
    for (auto& e : environment_) envp_.push_back(e.data());
    envp_.push_back(nullptr);
  }
  char* const* argv() const { return argv_.data(); }
  char* const* envp() const { return envp_.data(); }

 private:
  std::vector<std::string> arguments_;
  std::vector<std::string> environment_;
  std::vector<char*> argv_;
  std::vector<char*> envp_;
};

// Starts program (an absolute path) with its standard output and error appended
// to log_path and standard input from /dev/null. The child gets SIGTERM should
// the starting thread die first, so a crashed test leaves no server behind.
std::expected<pid_t, std::string> spawn(const std::string& program, const ExecImage& image,
                                        const std::string& log_path) {
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) return std::unexpected(std::string("fork failed: ") + std::strerror(errno));
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    const int in = open("/dev/null", O_RDONLY);
    const int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in < 0 || log < 0) _exit(126);
    dup2(in, 0);
    dup2(log, 1);
    dup2(log, 2);
    execve(program.c_str(), image.argv(), image.envp());
    _exit(127);
  }
  return pid;
}

// The exit status once pid has ended (as waitpid reports it), or nullopt when it
// is still running after limit.
std::optional<int> wait_for(pid_t pid, Clock::duration limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return status;
    if (r < 0 && errno != EINTR) return -1;
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(kPollStep);
  }
}

bool socket_accepts(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return ok;
}

std::string find_program(const char* name) {
  for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin"}) {
    std::string path = std::string(dir) + "/" + name;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return name;
}

bool write_file(const std::filesystem::path& path, const void* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), std::streamsize(size));
  return bool(out);
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string describe_exit(int status) {
  if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "ended by signal " + std::to_string(WTERMSIG(status));
  return "ended";
}

}  // namespace

std::expected<std::unique_ptr<PrivateAudioServer>, std::string> PrivateAudioServer::start(
    Options options) {
  char pattern[] = "/tmp/vantle-pa.XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    return std::unexpected(std::string("cannot make a temporary directory: ") +
                           std::strerror(errno));
  }
  std::unique_ptr<PrivateAudioServer> server(new PrivateAudioServer());
  server->directory_ = pattern;
  const auto& dir = server->directory_;
  for (const char* sub : {"runtime", "home", "state", "config"}) {
    std::filesystem::create_directory(dir / sub);
  }
  const std::string socket_path = (dir / "native").string();
  server->address_ = "unix:" + socket_path;

  std::ostringstream script;
  if (options.null_sink) {
    script << "load-module module-null-sink sink_name=" << kSinkName
           << " format=float32le rate=" << kSinkRate << " channels=" << kSinkChannels << "\n"
           << "set-default-sink " << kSinkName << "\n";
  }
  // The socket comes last, so a client that reaches it finds the sink in place.
  script << "load-module module-native-protocol-unix socket=" << socket_path
         << " auth-anonymous=1\n";
  const std::string text = script.str();
  if (!write_file(dir / "server.pa", text.data(), text.size())) {
    return std::unexpected("cannot write the server configuration in " + dir.string());
  }

  const std::string program = find_program("pulseaudio");
  ExecImage image(
      {program, "-n", "--file=" + (dir / "server.pa").string(), "--daemonize=no",
       "--exit-idle-time=-1", "--use-pid-file=no", "--system=no", "--fail=yes",
       "--high-priority=no", "--realtime=no", "--no-cpu-limit=yes", "--log-target=stderr"},
      {"HOME=" + (dir / "home").string(), "XDG_RUNTIME_DIR=" + (dir / "runtime").string(),
       "XDG_CONFIG_HOME=" + (dir / "config").string(),
       "PULSE_RUNTIME_PATH=" + (dir / "runtime").string(),
       "PULSE_STATE_PATH=" + (dir / "state").string(), "PATH=/usr/bin:/bin"});
  auto pid = spawn(program, image, (dir / "server.log").string());
  if (!pid) return std::unexpected("cannot start pulseaudio: " + pid.error());
  server->pid_ = *pid;

  const auto deadline = Clock::now() + kStartBound;
  while (!socket_accepts(socket_path)) {
    int status = 0;
    if (waitpid(server->pid_, &status, WNOHANG) == server->pid_) {
      server->pid_ = -1;
      return std::unexpected("pulseaudio " + describe_exit(status) + " before it answered; log:\n" +
                             server->log_text());
    }
    if (Clock::now() >= deadline) {
      return std::unexpected("pulseaudio did not answer within 10 s; log:\n" + server->log_text());
    }
    std::this_thread::sleep_for(kPollStep);
  }
  return server;
}

PrivateAudioServer::~PrivateAudioServer() {
  stop();
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

void PrivateAudioServer::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  if (frozen_) kill(pid_, SIGCONT);
  if (!wait_for(pid_, kTermBound)) {
    kill(pid_, SIGKILL);
    wait_for(pid_, kTermBound);
  }
  pid_ = -1;
  frozen_ = false;
}

void PrivateAudioServer::freeze() {
  if (pid_ > 0 && kill(pid_, SIGSTOP) == 0) frozen_ = true;
}

void PrivateAudioServer::thaw() {
  if (pid_ > 0 && kill(pid_, SIGCONT) == 0) frozen_ = false;
}

void PrivateAudioServer::use_in_this_process() const {
  setenv("PULSE_SERVER", address_.c_str(), 1);
}

std::string PrivateAudioServer::log_text() const {
  return read_file(directory_ / "server.log");
}

std::expected<void, std::string> PrivateAudioServer::play(
    const std::vector<float>& interleaved_stereo) const {
  static std::atomic<unsigned> counter{0};
  const auto sound = directory_ / ("sound-" + std::to_string(counter++) + ".raw");
  if (!write_file(sound, interleaved_stereo.data(), interleaved_stereo.size() * sizeof(float))) {
    return std::unexpected("cannot write " + sound.string());
  }
  const std::string program = find_program("pacat");
  ExecImage image(
      {program, "--playback", "--raw", "--format=float32le", "--rate=" + std::to_string(kSinkRate),
       "--channels=" + std::to_string(kSinkChannels), std::string("--device=") + kSinkName,
       sound.string()},
      {environment_entry(), "HOME=" + (directory_ / "home").string(),
       "XDG_RUNTIME_DIR=" + (directory_ / "runtime").string(), "PATH=/usr/bin:/bin"});
  const auto log = directory_ / "pacat.log";
  auto pid = spawn(program, image, log.string());
  std::error_code ignored;
  if (!pid) {
    std::filesystem::remove(sound, ignored);
    return std::unexpected("cannot start pacat: " + pid.error());
  }
  const auto seconds = double(interleaved_stereo.size() / kSinkChannels) / kSinkRate;
  const auto limit =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)) +
      kPlayMargin;
  const auto status = wait_for(*pid, limit);
  std::filesystem::remove(sound, ignored);
  if (!status) {
    kill(*pid, SIGKILL);
    wait_for(*pid, kTermBound);
    return std::unexpected("pacat did not finish in time; log:\n" + read_file(log));
  }
  if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
    return std::unexpected("pacat " + describe_exit(*status) + "; log:\n" + read_file(log));
  }
  return {};
}

std::vector<float> stereo_sine(double frequency, double amplitude, std::size_t frames,
                               std::size_t lead_in_frames) {
  constexpr unsigned channels = PrivateAudioServer::kSinkChannels;
  std::vector<float> samples((lead_in_frames + frames) * channels, 0.0f);
  const double step = 2.0 * std::numbers::pi * frequency / PrivateAudioServer::kSinkRate;
  for (std::size_t n = 0; n < frames; ++n) {
    const float value = float(amplitude * std::sin(step * double(n)));
    for (unsigned c = 0; c < channels; ++c) samples[(lead_in_frames + n) * channels + c] = value;
  }
  return samples;
}

}  // namespace test_support
