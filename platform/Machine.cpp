#include "platform/Machine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QStandardPaths>
#include <algorithm>
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

bool MachineFacts::FolderWritable(const std::string& dir) {
  return !dir.empty() && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

std::string MachineFacts::UserDataDirectory() {
  // What Qt's AppDataLocation gives the program (~/.local/share/pupiltrak08), also for the
  // tools, whose own application name differs or who have no application object.
  return WithTrailingSlash(
      QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString() +
      "/pupiltrak08");
}

std::string MachineFacts::SystemCascadeDirectory() {
  return WithTrailingSlash(PUPILTRAK_SYSTEM_CASCADE_DIR);
}

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

void FixedMachine::SetReadOnlyFolders(std::vector<std::string> dirs) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (std::string& d : dirs) d = WithTrailingSlash(d);
  readOnlyFolders_ = std::move(dirs);
}
void FixedMachine::SetUserDataDirectory(const std::string& dir) {
  std::lock_guard<std::mutex> lock(mutex_);
  userDataDirectory_ = WithTrailingSlash(dir);
}
void FixedMachine::SetSystemCascadeDirectory(const std::string& dir) {
  std::lock_guard<std::mutex> lock(mutex_);
  systemCascadeDirectory_ = WithTrailingSlash(dir);
}
bool FixedMachine::FolderWritable(const std::string& dir) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string d = WithTrailingSlash(dir);
    if (std::find(readOnlyFolders_.begin(), readOnlyFolders_.end(), d) != readOnlyFolders_.end())
      return false;
  }
  return MachineFacts::FolderWritable(dir);
}
std::string FixedMachine::UserDataDirectory() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!userDataDirectory_.empty()) return userDataDirectory_;
  }
  return MachineFacts::UserDataDirectory();
}
std::string FixedMachine::SystemCascadeDirectory() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!systemCascadeDirectory_.empty()) return systemCascadeDirectory_;
  }
  return MachineFacts::SystemCascadeDirectory();
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

std::string InstalledDataDirectory(const std::string& programDirectory) {
  return WithTrailingSlash(programDirectory + PUPILTRAK_DATA_FROM_PROGRAM);
}

bool PathExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool MakeFolders(const std::string& dir) {
  return !dir.empty() && QDir().mkpath(QString::fromStdString(dir));
}

std::string WithTrailingSlash(const std::string& dir) {
  return dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

}  // namespace pupiltrak
