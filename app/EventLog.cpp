#include "app/EventLog.h"

#include <QApplication>
#include <QThread>
#include <atomic>
#include <cstdio>

namespace pupiltrak {

namespace {
std::atomic<bool> printToStandardError{false};
}  // namespace

void EventLog::SetPrintToStandardError(bool on) { printToStandardError = on; }

EventLog::EventLog(QWidget* parent) : QListWidget(parent) {
  setViewMode(QListView::ListMode);
  setFlow(QListView::TopToBottom);
  setWrapping(true);
  setWordWrap(false);
  setTextElideMode(Qt::ElideNone);
  setResizeMode(QListView::Adjust);
  setFrameShape(QFrame::StyledPanel);
  setIconSize(QSize(16, 16));
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

void EventLog::SetImageList(const std::vector<QIcon>& icons) { images_ = icons; }

void EventLog::AddLogLine(const std::string& text) { Insert(text, kCogImage); }

void EventLog::AddBugLine(const std::string& text) { Insert("Bug: " + text, kBugImage); }

void EventLog::Insert(const std::string& text, int image) {
  Q_ASSERT_X(QThread::currentThread() == qApp->thread(), "EventLog",
             "log lines are added on the GUI thread only");
  auto* item = new QListWidgetItem(QString::fromStdString(text));
  if (image >= 0 && static_cast<size_t>(image) < images_.size()) item->setIcon(images_[image]);
  item->setData(kImageRole, image);
  // Appended at the current count; the view stays where it is.
  insertItem(count(), item);
  if (printToStandardError) std::fprintf(stderr, "%s\n", text.c_str());
}

std::vector<std::string> EventLog::Lines() const {
  std::vector<std::string> lines;
  lines.reserve(static_cast<size_t>(count()));
  for (int i = 0; i < count(); ++i) lines.push_back(item(i)->text().toStdString());
  return lines;
}

int EventLog::ImageIndex(int row) const {
  auto* it = item(row);
  return it ? it->data(kImageRole).toInt() : -1;
}

}  // namespace pupiltrak
