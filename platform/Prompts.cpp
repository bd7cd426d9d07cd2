#include "platform/Prompts.h"

#include <atomic>

namespace pupiltrak {

namespace {
ScriptedPrompts& BuiltIn() {
  static ScriptedPrompts prompts;
  return prompts;
}
std::atomic<Prompts*> current{nullptr};
}  // namespace

Prompts& UserPrompts() {
  Prompts* p = current.load();
  return p ? *p : BuiltIn();
}

void SetUserPrompts(Prompts* prompts) { current = prompts; }

void ScriptedPrompts::MessageBox(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.push_back(text);
}

std::optional<std::string> ScriptedPrompts::SaveFileName(const std::string&, const std::string&) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++fileCalls_;
  if (fileAnswers_.empty()) return std::nullopt;
  auto answer = fileAnswers_.front();
  fileAnswers_.pop_front();
  return answer;
}

std::optional<VideoCodec> ScriptedPrompts::ChooseCodec(const std::vector<VideoCodec>&) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++codecCalls_;
  if (codecAnswers_.empty()) return std::nullopt;
  auto answer = codecAnswers_.front();
  codecAnswers_.pop_front();
  return answer;
}

void ScriptedPrompts::ShowHelp(const std::string& topicPath) {
  std::lock_guard<std::mutex> lock(mutex_);
  help_.push_back(topicPath);
}

void ScriptedPrompts::QueueFileName(std::optional<std::string> answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  fileAnswers_.push_back(std::move(answer));
}

void ScriptedPrompts::QueueCodec(std::optional<VideoCodec> answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  codecAnswers_.push_back(std::move(answer));
}

std::vector<std::string> ScriptedPrompts::Messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}
std::vector<std::string> ScriptedPrompts::HelpTopics() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return help_;
}
int ScriptedPrompts::FileChooserCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fileCalls_;
}
int ScriptedPrompts::CodecChooserCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return codecCalls_;
}

}  // namespace pupiltrak
