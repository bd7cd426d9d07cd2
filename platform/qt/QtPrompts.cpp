#include "platform/qt/QtPrompts.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "platform/qt/HelpWindow.h"

namespace pupiltrak {

namespace {

const QString kCaption = QStringLiteral("PUPILTRAK_08");

}  // namespace

bool OnGuiThread() { return qApp && QThread::currentThread() == qApp->thread(); }

QWidget* PromptOwner() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

CodecChooser::CodecChooser(const std::vector<VideoCodec>& offered, QWidget* parent)
    : QDialog(parent), offered_(offered) {
  setWindowTitle(QStringLiteral("Video Compression"));
  setModal(true);
  auto* label = new QLabel(QStringLiteral("Compressor:"), this);
  list_ = new QListWidget(this);
  for (const VideoCodec& codec : offered_) list_->addItem(QString::fromStdString(codec.name));
  if (!offered_.empty()) list_->setCurrentRow(0);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setEnabled(!offered_.empty());
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(list_, 1);
  layout->addWidget(buttons);
  resize(320, 240);
}

std::optional<VideoCodec> CodecChooser::Chosen() const {
  if (result() != QDialog::Accepted) return std::nullopt;
  const int row = list_->currentRow();
  if (row < 0 || static_cast<size_t>(row) >= offered_.size()) return std::nullopt;
  return offered_[static_cast<size_t>(row)];
}

QtPrompts::QtPrompts() = default;
QtPrompts::~QtPrompts() = default;

void QtPrompts::MessageBox(const std::string& text) {
  const QString message = QString::fromStdString(text);
  if (OnGuiThread()) {
    QMessageBox::information(PromptOwner(), kCaption, message);
    return;
  }
  // The frame thread never waits for the user: the box appears later on the GUI thread.
  QMetaObject::invokeMethod(
      qApp,
      [message] {
        auto* box = new QMessageBox(QMessageBox::Information, kCaption, message, QMessageBox::Ok,
                                    PromptOwner());
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
      },
      Qt::QueuedConnection);
}

std::optional<std::string> QtPrompts::SaveFileName(const std::string& defaultSuffix,
                                                   const std::string& initialName) {
  if (!OnGuiThread()) return std::nullopt;
  QFileDialog chooser(PromptOwner());
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  chooser.setFileMode(QFileDialog::AnyFile);
  chooser.setDirectory(QDir::currentPath());
  chooser.setDefaultSuffix(QString::fromStdString(defaultSuffix));
  chooser.setOption(QFileDialog::DontConfirmOverwrite, false);
  const QString initial = QString::fromStdString(initialName);
  if (initial.contains(u'*') || initial.contains(u'?'))
    chooser.setNameFilter(initial);
  else
    chooser.selectFile(initial);
  if (chooser.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = chooser.selectedFiles();
  if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(QFileInfo(files.front()).absoluteFilePath()).toStdString();
}

std::optional<VideoCodec> QtPrompts::ChooseCodec(const std::vector<VideoCodec>& offered) {
  if (!OnGuiThread()) return std::nullopt;
  CodecChooser chooser(offered, PromptOwner());
  chooser.exec();
  return chooser.Chosen();
}

void QtPrompts::ShowHelp(const std::string& topicPath) {
  if (!OnGuiThread()) {
    QMetaObject::invokeMethod(
        qApp, [this, topicPath] { ShowHelp(topicPath); }, Qt::QueuedConnection);
    return;
  }
  if (!help_) help_ = std::make_unique<HelpWindow>();
  help_->ShowTopic(topicPath);
}

}  // namespace pupiltrak
