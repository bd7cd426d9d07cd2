#pragma once
// The event log of a run without a dialog: lines are kept and, unless quiet, echoed to stderr.

#include <mutex>
#include <string>
#include <vector>

#include "platform/DialogControls.h"

namespace pupiltrak {

class ConsoleLog : public DialogControls {
 public:
  explicit ConsoleLog(bool echo) : echo_(echo) {}
  void AddLogLine(const std::string& text) override;
  void AddBugLine(const std::string& text) override;
  void EnableControl(int, bool) override {}
  std::vector<std::string> Lines() const;

 private:
  bool echo_;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace pupiltrak
