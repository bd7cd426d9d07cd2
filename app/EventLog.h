#pragma once
// The event log (control 1004): a list in list mode whose lines flow top to bottom in columns,
// further columns to the right. Lines are only ever appended; ordinary lines carry the cog
// icon, failure lines the beetle icon and the prefix "Bug: ".

#include <QIcon>
#include <QListWidget>
#include <string>
#include <vector>

namespace pupiltrak {

class EventLog : public QListWidget {
 public:
  // Index of each line's icon in the log's image list.
  static constexpr int kCogImage = 0;
  static constexpr int kBugImage = 1;
  // Item role that holds the image index (for inspection).
  static constexpr int kImageRole = Qt::UserRole + 1;

  explicit EventLog(QWidget* parent = nullptr);

  // The small-icon list: entry 0 for ordinary lines, entry 1 for failure lines.
  void SetImageList(const std::vector<QIcon>& icons);

  // GUI thread only. Neither scrolls to the new line nor selects it.
  void AddLogLine(const std::string& text);
  void AddBugLine(const std::string& text);

  std::vector<std::string> Lines() const;

  // With the program's --print-log (off unless asked for): every line also goes to standard
  // error as it is added, for launchers' journals and scripts.
  static void SetPrintToStandardError(bool on);
  int ImageIndex(int row) const;

 private:
  void Insert(const std::string& text, int image);
  std::vector<QIcon> images_;
};

}  // namespace pupiltrak
