set(DISPLAY_SOURCES
  display/StatusPanel.cpp display/StatusPanel.h
  display/StripChart.cpp display/StripChart.h
)
