#pragma once
// The help viewer: a browser window showing the help pages installed beside the program.
// A topic path names the compiled help file and a page in it, "<dir>/pupiltrak08.chm::/X.html";
// here the pages lie as plain HTML in "<dir>/help/".

#include <QTextBrowser>
#include <QWidget>
#include <string>

class QPushButton;

namespace pupiltrak {

// The page file a topic path stands for: "<dir>/<name>.chm::/X.html" becomes
// "<dir>/help/X.html". A path without "::/" is a page file already.
std::string HelpPageFile(const std::string& topicPath);

// A browser that shows a clear page instead of nothing when a page file is missing.
class HelpBrowser : public QTextBrowser {
 public:
  explicit HelpBrowser(QWidget* parent = nullptr);
  // The file of the page shown, empty for the missing-page notice.
  QString CurrentFile() const { return currentFile_; }
  bool ShowingMissingPage() const { return currentFile_.isEmpty(); }

 protected:
  void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;

 private:
  QString currentFile_;
};

class HelpWindow : public QWidget {
 public:
  explicit HelpWindow(QWidget* parent = nullptr);
  // Shows the topic and brings the window to the front.
  void ShowTopic(const std::string& topicPath);
  HelpBrowser& Browser() { return *browser_; }

 private:
  HelpBrowser* browser_;
  QPushButton* back_;
  QPushButton* forward_;
  QPushButton* home_;
};

}  // namespace pupiltrak
