#pragma once
// The real replay program as a child process: started with its output in files, waited for,
// and the files it writes watched (inotify) rather than polled.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

inline std::string ReplayProgram() {
  return std::string(PUPILTRAK_BINARY_DIR) + "/tools/replay/pupiltrak08-replay";
}

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream ss(text);
  for (std::string line; std::getline(ss, line);) lines.push_back(line);
  return lines;
}

// Starts the program in dir with args; standard output and error go to dir/stdout.txt and
// dir/stderr.txt. Returns the child's process id.
inline pid_t StartReplay(const std::string& dir, const std::vector<std::string>& args) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    const int out = ::open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    const std::string program = ReplayProgram();
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  return pid;
}

// The raw wait status of a child.
inline int WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

// Runs the program to its end; the exit status (-signal when a signal ended it).
inline int RunReplay(const std::string& dir, const std::vector<std::string>& args) {
  const int status = WaitFor(StartReplay(dir, args));
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// Waits until ready() holds, looking again at every change inside folder (which must exist),
// for at most `limit`. false when the limit passed first.
inline bool WaitInFolder(const std::string& folder, const std::function<bool()>& ready,
                         std::chrono::seconds limit) {
  const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return false;
  const int watch =
      ::inotify_add_watch(fd, folder.c_str(), IN_CREATE | IN_MODIFY | IN_MOVED_TO | IN_CLOSE_WRITE);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool ok = watch >= 0 && ready();
  while (watch >= 0 && !ok) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p = {fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) > 0) {
      char events[4096];
      while (::read(fd, events, sizeof events) > 0) {
      }
    }
    ok = ready();
  }
  ::close(fd);
  return ok;
}
