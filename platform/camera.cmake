# Camera layer: added to the platform library (no widgets) and, for the property pages,
# to the widgets library.
list(APPEND PLATFORM_SOURCES
  platform/CameraLibrary.cpp platform/CameraLibrary.h
  platform/FrameSource.cpp platform/FrameSource.h
  platform/PrepareAheadSource.cpp platform/PrepareAheadSource.h
  platform/V4L2Device.cpp platform/V4L2Device.h
  platform/VideoCodecs.cpp platform/VideoCodecs.h
)
list(APPEND PLATFORM_WIDGET_SOURCES
  platform/qt/PropertyPages.cpp platform/qt/PropertyPages.h
)
