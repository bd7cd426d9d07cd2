# The dialog and its commands.
set(APP_DIALOG_SOURCES
  app/AboutBox.cpp app/AboutBox.h
  app/CaptureFileCommands.cpp app/CaptureFileCommands.h
  app/DialogFont.cpp app/DialogFont.h
  app/DialogTemplate.cpp app/DialogTemplate.h
  app/DialogView.h
  app/EventLog.cpp app/EventLog.h
  app/HelpCommand.cpp app/HelpCommand.h
  app/OptionCommands.cpp app/OptionCommands.h
  app/ParameterSlider.cpp app/ParameterSlider.h
  app/TrackerApp.cpp app/TrackerApp.h
  app/TrackerDialog.cpp app/TrackerDialog.h
)
# The help pages are copied beside the program when CMake configures: a changed page
# configures again.
file(GLOB APP_HELP_PAGES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/../resources/help/*)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${APP_HELP_PAGES})
