#include "platform/Machine.h"

#include <unistd.h>

#include <chrono>
#include <climits>

namespace pupiltrak {

namespace {
FixedMachine& BuiltIn() {
  static FixedMachine machine;
  return machine;
}
std::atomic<MachineFacts*> current{nullptr};
}  // namespace

MachineFacts& Machine() {
  MachineFacts* m = current.load();
  return m ? *m : BuiltIn();
}

void SetMachine(MachineFacts* facts) { current = facts; }

QSize FixedMachine::FullScreenSize() {
  std::lock_guard<std::mutex> lock(mutex_);
  return fullScreen_;
}
QSize FixedMachine::ScreenSize() {
  std::lock_guard<std::mutex> lock(mutex_);
  return screen_;
}
std::string FixedMachine::ProgramDirectory() {
  std::lock_guard<std::mutex> lock(mutex_);
  return programDirectory_;
}
void FixedMachine::SetFullScreenSize(QSize s) {
  std::lock_guard<std::mutex> lock(mutex_);
  fullScreen_ = s;
}
void FixedMachine::SetScreenSize(QSize s) {
  std::lock_guard<std::mutex> lock(mutex_);
  screen_ = s;
}
void FixedMachine::SetProgramDirectory(const std::string& dir) {
  std::lock_guard<std::mutex> lock(mutex_);
  programDirectory_ = dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

int64_t FixedMachine::TickCount() {
  int64_t pinned = pinnedTicks.load();
  if (pinned >= 0) return pinned;
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double FixedMachine::TickFrequency() { return pinnedTicks.load() >= 0 ? 1e6 : 1e9; }

std::time_t FixedMachine::Now() {
  std::time_t t = now.load();
  return t != 0 ? t : std::time(nullptr);
}

std::string ExecutableDirectory() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  std::string path(buf, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace pupiltrak
