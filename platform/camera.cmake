# Camera layer: added to the platform library (no widgets) and, for the property pages,
# to the widgets library.
list(APPEND PLATFORM_SOURCES
)
list(APPEND PLATFORM_WIDGET_SOURCES
)
