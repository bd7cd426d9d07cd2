#include "ConsoleLog.h"

#include <cstdio>

namespace pupiltrak {

void ConsoleLog::AddLogLine(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(text);
  if (echo_) std::fprintf(stderr, "log: %s\n", text.c_str());
}

void ConsoleLog::AddBugLine(const std::string& text) { AddLogLine("Bug: " + text); }

std::vector<std::string> ConsoleLog::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

}  // namespace pupiltrak
