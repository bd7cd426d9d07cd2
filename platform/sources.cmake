set(PLATFORM_SOURCES
  platform/CameraFrame.h platform/Geometry.h
  platform/DialogCanvas.cpp platform/DialogCanvas.h
  platform/DialogControls.h
  platform/HeadlessPlatform.cpp platform/HeadlessPlatform.h
  platform/Machine.cpp platform/Machine.h
  platform/NamedWindows.cpp platform/NamedWindows.h
  platform/Platform.cpp platform/Platform.h
  platform/Prompts.cpp platform/Prompts.h
  platform/Resources.cpp platform/Resources.h
  platform/Surface.cpp platform/Surface.h
  platform/TargetWindowHost.cpp platform/TargetWindowHost.h
)
set(PLATFORM_WIDGET_SOURCES
)
# The camera layer (frame sources, worker thread, property pages) lists its own files.
include(platform/camera.cmake)
# The Qt Widgets implementations list their own files.
include(platform/qt/sources.cmake)
# The gaze stream's ZeroMQ publisher (libzmq through cppzmq).
list(APPEND PLATFORM_SOURCES platform/GazePublisher.cpp platform/GazePublisher.h)
