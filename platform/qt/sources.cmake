list(APPEND PLATFORM_WIDGET_SOURCES
  platform/qt/HelpWindow.cpp platform/qt/HelpWindow.h
  platform/qt/QtMachine.cpp platform/qt/QtMachine.h
  platform/qt/QtNamedWindows.cpp platform/qt/QtNamedWindows.h
  platform/qt/QtPrompts.cpp platform/qt/QtPrompts.h
  platform/qt/QtTargetWindows.cpp platform/qt/QtTargetWindows.h
)
