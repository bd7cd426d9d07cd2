set(DISPLAY_SOURCES
  display/GazePictures.cpp display/GazePictures.h
  display/StatusPanel.cpp display/StatusPanel.h
  display/StripChart.cpp display/StripChart.h
)
