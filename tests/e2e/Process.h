#pragma once
// Running the programs under test: a child process with its output captured, every wait bounded.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace recdesk::test {

inline std::string binPath(const std::string& name) { return std::string(RECDESK_TEST_BIN_DIR) + "/" + name; }

class Process {
 public:
  explicit Process(const std::vector<std::string>& argv) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
    ::fcntl(out_, F_SETFL, O_NONBLOCK);
    ::fcntl(err_, F_SETFL, O_NONBLOCK);
  }
  ~Process() {
    kill();
    if (out_ >= 0) ::close(out_);
    if (err_ >= 0) ::close(err_);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool started() const { return pid_ > 0; }

  // Waits (at most `limit`) for the first line of the standard output.
  std::string firstLine(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      pump(50);
      const auto nl = stdout_.find('\n');
      if (nl != std::string::npos) return stdout_.substr(0, nl);
      if (exited()) break;
    }
    return {};
  }

  // Waits (at most `limit`) for the process to end; kills it when it does not. Returns the exit code,
  // or -1 when it had to be killed or died by a signal.
  int wait(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!exited() && std::chrono::steady_clock::now() < deadline) pump(50);
    if (!exited()) {
      kill();
      return -1;
    }
    pump(0);
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }

  void terminate() {
    if (pid_ > 0 && !exited()) ::kill(pid_, SIGTERM);
  }

  const std::string& out() const { return stdout_; }
  const std::string& err() const { return stderr_; }

 private:
  bool exited() {
    if (pid_ <= 0) return true;
    if (done_) return true;
    if (::waitpid(pid_, &status_, WNOHANG) == pid_) done_ = true;
    return done_;
  }
  void kill() {
    if (pid_ > 0 && !exited()) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status_, 0);
      done_ = true;
    }
  }
  void pump(int timeoutMs) {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    ::poll(fds, 2, timeoutMs);
    char buffer[4096];
    for (auto [fd, text] : {std::pair<int, std::string*>{out_, &stdout_}, {err_, &stderr_}}) {
      for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text->append(buffer, static_cast<std::size_t>(n));
      }
    }
  }

  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  int status_ = 0;
  bool done_ = false;
  std::string stdout_, stderr_;
};

}  // namespace recdesk::test
