#pragma once
// Every modal interaction with the user. The program installs the Qt implementation; tests
// install ScriptedPrompts and answer without a dialog ever appearing.

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pupiltrak {

// A video compressor that the chooser may offer.
struct VideoCodec {
  int fourcc = 0;  // 0: uncompressed frames
  std::string name;
};

class Prompts {
 public:
  virtual ~Prompts() = default;
  // A message box with an OK button. On the GUI thread it is modal; from any other thread it
  // is shown without waiting, so the frame thread never blocks on the user.
  virtual void MessageBox(const std::string& text) = 0;
  // The save-file chooser: default suffix, initial file name, confirm overwrite.
  // Returns the full path, or nothing when cancelled.
  virtual std::optional<std::string> SaveFileName(const std::string& defaultSuffix,
                                                  const std::string& initialName) = 0;
  // The compressor chooser: returns the chosen codec, or nothing when cancelled.
  virtual std::optional<VideoCodec> ChooseCodec(const std::vector<VideoCodec>& offered) = 0;
  // Shows the help topic (a path of the form "<dir>/file.chm::/Topic.html").
  virtual void ShowHelp(const std::string& topicPath) = 0;
};

// The prompts in force (defaults to a ScriptedPrompts that cancels everything).
Prompts& UserPrompts();
// Installs prompts (not owned); nullptr restores the built-in one.
void SetUserPrompts(Prompts* prompts);

// Answers from queues; records what was asked. Thread-safe.
class ScriptedPrompts : public Prompts {
 public:
  void MessageBox(const std::string& text) override;
  std::optional<std::string> SaveFileName(const std::string& defaultSuffix,
                                          const std::string& initialName) override;
  std::optional<VideoCodec> ChooseCodec(const std::vector<VideoCodec>& offered) override;
  void ShowHelp(const std::string& topicPath) override;

  // Next answers (an empty optional cancels). Without a queued answer, choosers cancel.
  void QueueFileName(std::optional<std::string> answer);
  void QueueCodec(std::optional<VideoCodec> answer);

  std::vector<std::string> Messages() const;
  std::vector<std::string> HelpTopics() const;
  int FileChooserCalls() const;
  int CodecChooserCalls() const;

 private:
  mutable std::mutex mutex_;
  std::deque<std::optional<std::string>> fileAnswers_;
  std::deque<std::optional<VideoCodec>> codecAnswers_;
  std::vector<std::string> messages_;
  std::vector<std::string> help_;
  int fileCalls_ = 0;
  int codecCalls_ = 0;
};

}  // namespace pupiltrak
