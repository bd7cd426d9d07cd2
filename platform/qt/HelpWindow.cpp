#include "platform/qt/HelpWindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace pupiltrak {

std::string HelpPageFile(const std::string& topicPath) {
  const std::string marker = "::/";
  const size_t at = topicPath.find(marker);
  if (at == std::string::npos) return topicPath;
  const std::string helpFile = topicPath.substr(0, at);
  const std::string page = topicPath.substr(at + marker.size());
  const size_t slash = helpFile.rfind('/');
  const std::string dir =
      slash == std::string::npos ? std::string() : helpFile.substr(0, slash + 1);
  return dir + "help/" + page;
}

namespace {

QString MissingPage(const QString& what) {
  return QStringLiteral(
             "<html><body><h2>Help page not found</h2>"
             "<p>The help page <code>%1</code> is not there.</p>"
             "<p>The help pages are installed in the folder <code>help</code> beside the "
             "program; building the program copies them there.</p></body></html>")
      .arg(what.toHtmlEscaped());
}

}  // namespace

HelpBrowser::HelpBrowser(QWidget* parent) : QTextBrowser(parent) { setOpenExternalLinks(true); }

void HelpBrowser::doSetSource(const QUrl& name, QTextDocument::ResourceType type) {
  // Links between pages are relative to the page shown.
  const QUrl url = name.isRelative() && source().isValid() ? source().resolved(name) : name;
  if (url.isLocalFile()) {
    const QString file = url.toLocalFile();
    if (!QFileInfo(file).isFile()) {
      currentFile_.clear();
      setHtml(MissingPage(file));
      return;
    }
    currentFile_ = QFileInfo(file).absoluteFilePath();
  }
  QTextBrowser::doSetSource(name, type);
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("PUPILTRAK_08 Help"));
  resize(720, 600);
  browser_ = new HelpBrowser(this);
  back_ = new QPushButton(QStringLiteral("Back"), this);
  forward_ = new QPushButton(QStringLiteral("Forward"), this);
  home_ = new QPushButton(QStringLiteral("Contents"), this);
  back_->setEnabled(false);
  forward_->setEnabled(false);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(back_);
  buttons->addWidget(forward_);
  buttons->addWidget(home_);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(browser_, 1);

  connect(back_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
  connect(home_, &QPushButton::clicked, browser_, &QTextBrowser::home);
  connect(browser_, &QTextBrowser::backwardAvailable, back_, &QPushButton::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QPushButton::setEnabled);
}

void HelpWindow::ShowTopic(const std::string& topicPath) {
  const QString file = QString::fromStdString(HelpPageFile(topicPath));
  browser_->setSource(QUrl::fromLocalFile(file));
  show();
  raise();
  activateWindow();
}

}  // namespace pupiltrak
