# Plain shared state, compiled into the core library.
set(APP_CORE_SOURCES
  app/DialogControls.h
  app/TrackerState.cpp app/TrackerState.h
)
# The dialog and its commands.
set(APP_DIALOG_SOURCES
)
