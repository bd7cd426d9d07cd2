// Test entry point: a QGuiApplication for the drawing surfaces (fonts need one), on Qt's
// offscreen platform unless a display is set explicitly. GUI tests use QApplication.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
