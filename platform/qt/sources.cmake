list(APPEND PLATFORM_WIDGET_SOURCES
  platform/qt/QtTargetWindows.cpp platform/qt/QtTargetWindows.h
)
