#pragma once
// The prompts as Qt dialogs: message boxes, the save-file chooser, the compressor chooser and
// the help window.

#include <QDialog>
#include <memory>

#include "platform/Prompts.h"

class QListWidget;

namespace pupiltrak {

class HelpWindow;

// A small modal list of the offered compressors with OK and Cancel.
class CodecChooser : public QDialog {
 public:
  explicit CodecChooser(const std::vector<VideoCodec>& offered, QWidget* parent = nullptr);
  // The highlighted entry when accepted, nothing otherwise.
  std::optional<VideoCodec> Chosen() const;
  QListWidget& List() { return *list_; }

 private:
  std::vector<VideoCodec> offered_;
  QListWidget* list_;
};

class QtPrompts : public Prompts {
 public:
  QtPrompts();
  ~QtPrompts() override;
  // Modal on the GUI thread; from any other thread shown later without waiting.
  void MessageBox(const std::string& text) override;
  // GUI thread. An initial name holding wildcards ("*.avi") starts the chooser with that
  // pattern as its filter and an empty name, as the system's chooser does.
  std::optional<std::string> SaveFileName(const std::string& defaultSuffix,
                                          const std::string& initialName) override;
  // GUI thread; from another thread it cancels (it never blocks that thread on the user).
  std::optional<VideoCodec> ChooseCodec(const std::vector<VideoCodec>& offered) override;
  // Shows the topic in the help window (queued when called off the GUI thread).
  void ShowHelp(const std::string& topicPath) override;

  // The help window, once help was shown.
  HelpWindow* Help() const { return help_.get(); }

 private:
  std::unique_ptr<HelpWindow> help_;
};

// The window that owns the prompts: the active modal dialog or the active window.
QWidget* PromptOwner();
// Whether the caller runs on the GUI thread.
bool OnGuiThread();

}  // namespace pupiltrak
