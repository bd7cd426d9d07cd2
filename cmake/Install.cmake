# Install rules and the Debian package. Every path is relative to the install prefix, and the
# programs find their data relative to their own folder, so a copy installed anywhere works.

# The manual pages, made from the programs' own --help and --version by help2man.
find_program(HELP2MAN help2man)
find_program(GZIP gzip)
set(PUPILTRAK_MAN_PAGES "")
if(HELP2MAN AND GZIP)
  foreach(program pupiltrak08 pupiltrak08-replay pupiltrak08-makevideo)
    set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1)
    set(include ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${program}.h2m)
    add_custom_command(OUTPUT ${page} ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
      COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1 --include=${include}
              --output=${page} $<TARGET_FILE:${program}>
      # -n: no time stamp in the archive, so the page is the same on every build.
      COMMAND ${GZIP} -9nf --keep ${page}
      DEPENDS ${program} ${include}
      COMMENT "Manual page ${program}(1)" VERBATIM)
    list(APPEND PUPILTRAK_MAN_PAGES ${page})
  endforeach()
  add_custom_target(pupiltrak_man_pages ALL DEPENDS ${PUPILTRAK_MAN_PAGES})
  foreach(page ${PUPILTRAK_MAN_PAGES})
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
else()
  message(STATUS "help2man or gzip not found: no manual pages (./build.sh installs help2man)")
endif()

install(TARGETS pupiltrak08 pupiltrak08-replay pupiltrak08-makevideo
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The program's data, found through InstalledDataDirectory().
install(DIRECTORY resources/help DESTINATION ${PUPILTRAK_DATA_DIR})
install(FILES tests/data/faces/jesper_2.jpg tests/data/faces/eye_centres.csv
  DESTINATION ${PUPILTRAK_DATA_DIR}/faces)

# The desktop entry, its icon and the AppStream description.
install(FILES packaging/pupiltrak08.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/pupiltrak08.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(packaging/pupiltrak08.metainfo.xml.in
  ${CMAKE_CURRENT_BINARY_DIR}/pupiltrak08.metainfo.xml @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pupiltrak08.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Documents, the example subscriber, the copyright and the changelog Debian asks for.
install(FILES README.md packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# In docs/ as in the source tree, where the README's links point.
install(FILES docs/STREAM.md docs/RELIABILITY.md docs/SPEED.md docs/demo_accuracy.png
  docs/dialog.png docs/session_accuracy.png docs/session_calibration.png docs/session_preview.png
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(FILES tools/gaze_subscriber.py DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
configure_file(packaging/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  COMMAND ${GZIP} -9nf --keep ${CMAKE_CURRENT_BINARY_DIR}/changelog
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog VERBATIM)
add_custom_target(pupiltrak_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: ./build.sh package, or cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pupiltrak08)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "PUPILTRAK_08 developers <pupiltrak08@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop eye tracker for one ordinary webcam")
# The extended description below the summary line; CPack indents it and marks the empty line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "PUPILTRAK_08 finds the face, both eye regions and each pupil in every camera
frame and measures an eye vector against the glint beside the pupil. A
nine-target calibration fits a linear gaze mapping per eye; an accuracy test
reports the gaze error in pixels, millimetres and degrees. Every calibration
is appended to a plain-text protocol.

pupiltrak08-replay runs the same tracker on recorded video without the
dialog, and holds a built-in demo session of a virtual user.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries from the binaries; the cascade and Qt's platform plugins are files they load.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "opencv-data, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-zmq")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_CURRENT_BINARY_DIR}/package)
include(CPack)
