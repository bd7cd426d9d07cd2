#pragma once
// Facts about the machine and the few side effects the tracker has on it. Everything goes
// through the current MachineFacts so tests and tools can inject them.

#include <QSize>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace pupiltrak {

class MachineFacts {
 public:
  virtual ~MachineFacts() = default;
  // Width and height of a full-screen window's client area (the primary screen's available area).
  virtual QSize FullScreenSize() = 0;
  // The whole primary screen.
  virtual QSize ScreenSize() = 0;
  // The "OK" system sound. May be called from any thread; never blocks.
  virtual void Beep() = 0;
  // Directory that holds the program file, with a trailing '/'.
  virtual std::string ProgramDirectory() = 0;
  // Monotonic tick counter and its frequency in ticks per second.
  virtual int64_t TickCount() = 0;
  virtual double TickFrequency() = 0;
  // Wall-clock seconds, for seeding the accuracy targets.
  virtual std::time_t Now() = 0;

  // Where files are looked up and written. The defaults answer from the real file system.
  // Whether the program may create files in the folder dir (ends with '/').
  virtual bool FolderWritable(const std::string& dir);
  // The user's own data folder for this program, with a trailing '/' (it may not exist yet).
  virtual std::string UserDataDirectory();
  // The folder of OpenCV's own Haar cascades on this system, with a trailing '/'.
  virtual std::string SystemCascadeDirectory();
};

// The facts in force. Defaults to FixedMachine until the program installs the real one.
MachineFacts& Machine();
// Installs facts (not owned); nullptr restores the built-in FixedMachine.
void SetMachine(MachineFacts* facts);

// Settable facts: the stand-in for tests and the headless tools. The clock is the real
// steady clock unless a tick count is pinned.
class FixedMachine : public MachineFacts {
 public:
  QSize FullScreenSize() override;
  QSize ScreenSize() override;
  void Beep() override { ++beeps; }
  std::string ProgramDirectory() override;
  int64_t TickCount() override;
  double TickFrequency() override;
  std::time_t Now() override;

  void SetFullScreenSize(QSize s);
  void SetScreenSize(QSize s);
  void SetProgramDirectory(const std::string& dir);
  // Pins the tick counter (frequency 1e6 per second while pinned); -1 unpins it.
  void PinTicks(int64_t ticks) { pinnedTicks = ticks; }
  void SetNow(std::time_t t) { now = t; }
  // Folders that answer "not writable" although the file system would let the program write.
  void SetReadOnlyFolders(std::vector<std::string> dirs);
  void SetUserDataDirectory(const std::string& dir);
  void SetSystemCascadeDirectory(const std::string& dir);
  bool FolderWritable(const std::string& dir) override;
  std::string UserDataDirectory() override;
  std::string SystemCascadeDirectory() override;

  std::atomic<int> beeps{0};
  std::atomic<int64_t> pinnedTicks{-1};
  std::atomic<std::time_t> now{0};

 private:
  std::mutex mutex_;
  QSize fullScreen_{1024, 710};
  QSize screen_{1024, 768};
  std::string programDirectory_ = "./";
  std::vector<std::string> readOnlyFolders_;
  std::string userDataDirectory_;       // empty: the real one
  std::string systemCascadeDirectory_;  // empty: the real one
};

// Directory of the running executable (from /proc/self/exe), with a trailing '/'.
std::string ExecutableDirectory();

// The program's installed data (help pages, face photograph) for a program in programDirectory:
// "<programDirectory>../share/pupiltrak08/" for the layout the install rules make.
std::string InstalledDataDirectory(const std::string& programDirectory);

// Whether a file or folder is there (a relative path counts from the current directory).
bool PathExists(const std::string& path);

// Creates dir and the folders above it that are missing; false when it cannot.
bool MakeFolders(const std::string& dir);

// dir with a trailing '/' (an empty dir stays empty).
std::string WithTrailingSlash(const std::string& dir);

}  // namespace pupiltrak
