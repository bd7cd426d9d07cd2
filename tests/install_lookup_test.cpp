// Where the program looks for what it reads and writes, in a build folder and installed: the
// face cascade, the calibration protocol and the help pages, with a program folder that may
// and may not be written (the machine facts answer for the folders).
#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <opencv2/objdetect.hpp>

#include "app/HelpCommand.h"
#include "dialog_support.h"
#include "mapping/CalibrationProtocol.h"
#include "platform/Machine.h"
#include "tracking/FaceCascade.h"

using namespace pupiltrak;
using namespace dialog_test;

namespace {

const std::string kName = "haarcascade_frontalface_default.xml";

// A scratch tree laid out like an installation: prefix/bin (the program folder), the system's
// cascade folder, the user's home data folder, and a current directory of its own.
class InstalledTree {
 public:
  InstalledTree() {
    for (const char* d : {"bin", "system", "cwd"}) QDir(root_.path()).mkpath(d);
  }
  std::string Dir(const std::string& sub) const {
    return root_.path().toStdString() + "/" + sub + "/";
  }
  void PutCascade(const std::string& sub) const {
    QDir(root_.path()).mkpath(QString::fromStdString(sub));
    QFile::copy(PUPILTRAK_CASCADE, QString::fromStdString(Dir(sub) + kName));
  }
  void PutHelp(const std::string& sub) const {
    QDir(root_.path()).mkpath(QString::fromStdString(sub + "/help"));
    QFile page(QString::fromStdString(Dir(sub) + "help/Welcome.html"));
    if (page.open(QIODevice::WriteOnly)) page.write("<html><body>Welcome</body></html>");
  }

 private:
  QTemporaryDir root_;
};

// Makes dir the current directory for its lifetime.
class InDirectory {
 public:
  explicit InDirectory(const std::string& dir) : old_(QDir::currentPath()) {
    QDir::setCurrent(QString::fromStdString(dir));
  }
  ~InDirectory() { QDir::setCurrent(old_); }

 private:
  QString old_;
};

class Lookup : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    machine.SetProgramDirectory(tree.Dir("bin"));
    machine.SetSystemCascadeDirectory(tree.Dir("system"));
    machine.SetUserDataDirectory(tree.Dir("home/.local/share/pupiltrak08"));
  }
  InstalledTree tree;
};

TEST_F(Lookup, CascadeCurrentDirectoryThenBesideTheProgramThenTheSystems) {
  struct Case {
    std::vector<std::string> holders;  // folders that hold a cascade
    std::string expected;              // "" for the bare name
  };
  const Case cases[] = {
      {{"cwd", "bin", "system"}, ""},
      {{"bin", "system"}, "bin"},
      {{"system"}, "system"},
      {{"cwd", "system"}, ""},
      {{}, ""},
  };
  for (const Case& c : cases) {
    InstalledTree t;
    machine.SetProgramDirectory(t.Dir("bin"));
    machine.SetSystemCascadeDirectory(t.Dir("system"));
    std::string holders;
    for (const std::string& h : c.holders) {
      t.PutCascade(h);
      holders += h + " ";
    }
    SCOPED_TRACE(holders);
    InDirectory cwd(t.Dir("cwd"));
    const std::string expected = c.expected.empty() ? kName : t.Dir(c.expected) + kName;
    EXPECT_EQ(FindFaceCascade(machine.ProgramDirectory()), expected);
    FoundCascade found = FindAndLoadFaceCascade(machine.ProgramDirectory());
    EXPECT_EQ(found.path, expected);
    EXPECT_EQ(static_cast<bool>(found.cascade), !c.holders.empty());
  }
}

TEST_F(Lookup, ADamagedCascadeInTheCurrentDirectoryIsNotPassedOver) {
  tree.PutCascade("system");
  InDirectory cwd(tree.Dir("cwd"));
  QFile damaged(QString::fromStdString(kName));
  ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
  damaged.write("not a cascade");
  damaged.close();
  FoundCascade found = FindAndLoadFaceCascade(machine.ProgramDirectory());
  EXPECT_EQ(found.path, kName);
  EXPECT_FALSE(found.cascade);
}

TEST_F(Lookup, ProtocolBesideAWritableProgramElseInTheUsersDataFolder) {
  const std::string userDir = tree.Dir("home/.local/share/pupiltrak08");
  EXPECT_EQ(CalibrationProtocolPath(Machine()), tree.Dir("bin") + "CalibrationProtocol.txt");
  EXPECT_FALSE(QDir(QString::fromStdString(userDir)).exists());

  machine.SetReadOnlyFolders({tree.Dir("bin")});
  EXPECT_EQ(CalibrationProtocolPath(Machine()), userDir + "CalibrationProtocol.txt");
  EXPECT_TRUE(QDir(QString::fromStdString(userDir)).exists());
  EXPECT_EQ(ProtocolLocationLine(Machine()),
            "Calibrations are recorded in " + userDir + "CalibrationProtocol.txt");
  // The calibration really writes there.
  CalibrationProtocol protocol;
  ASSERT_TRUE(protocol.Open(CalibrationProtocolPath(Machine())));
  protocol.Close("end\r\n");
  EXPECT_TRUE(QFile::exists(QString::fromStdString(userDir + "CalibrationProtocol.txt")));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(tree.Dir("bin") + "CalibrationProtocol.txt")));
}

TEST_F(Lookup, HelpPagesBesideTheProgramElseWhereTheyWereInstalled) {
  // Installed: bin/../share/pupiltrak08/help.
  EXPECT_EQ(HelpDirectory(tree.Dir("bin")), tree.Dir("bin"));  // none anywhere: beside it
  tree.PutHelp("share/pupiltrak08");
  const std::string installed = InstalledDataDirectory(tree.Dir("bin"));
  EXPECT_EQ(QDir(QString::fromStdString(installed)).canonicalPath(),
            QDir(QString::fromStdString(tree.Dir("share/pupiltrak08"))).canonicalPath());
  EXPECT_EQ(HelpDirectory(tree.Dir("bin")), installed);
  tree.PutHelp("bin");  // a build folder's copy wins
  EXPECT_EQ(HelpDirectory(tree.Dir("bin")), tree.Dir("bin"));
}

TEST_F(Lookup, AnInstalledDialogFindsItsCascadeProtocolFolderAndHelp) {
  // Started from a launcher: the current directory is the user's, the program's folder belongs
  // to the system, the cascade comes from OpenCV's data.
  tree.PutCascade("system");
  tree.PutHelp("share/pupiltrak08");
  machine.SetReadOnlyFolders({tree.Dir("bin")});
  InDirectory cwd(tree.Dir("cwd"));
  TrackerDialog dialog(session);
  EXPECT_TRUE(dialog.InitResult());
  const std::string cascade = tree.Dir("system") + kName;
  const std::string protocol =
      tree.Dir("home/.local/share/pupiltrak08") + "CalibrationProtocol.txt";
  EXPECT_EQ(
      dialog.Log().Lines(),
      (std::vector<std::string>{"Loading " + cascade, "Classifier cascade " + cascade + " loaded",
                                "Calibrations are recorded in " + protocol}));
  EXPECT_TRUE(session.state.FaceCascade);
  qobject_cast<QAbstractButton*>(dialog.Control(control_id::kHelp))->click();
  ASSERT_EQ(prompts.HelpTopics().size(), 1u);
  const std::string topic = prompts.HelpTopics()[0];
  const std::string suffix = "pupiltrak08.chm::/Welcome.html";
  ASSERT_GT(topic.size(), suffix.size());
  EXPECT_EQ(topic.substr(topic.size() - suffix.size()), suffix);
  EXPECT_EQ(
      QDir(QString::fromStdString(topic.substr(0, topic.size() - suffix.size()))).canonicalPath(),
      QDir(QString::fromStdString(tree.Dir("share/pupiltrak08"))).canonicalPath());
}

}  // namespace
