// Test entry point of the core's tests: a QGuiApplication for the drawing surfaces (fonts need
// one), on Qt's offscreen platform unless a display is set explicitly. No widgets.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
