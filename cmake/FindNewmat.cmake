# NEWMAT ships no CMake package; find its header and library by hand.
find_path(NEWMAT_INCLUDE_DIR newmat/newmat.h)
find_library(NEWMAT_LIBRARY NAMES newmat)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Newmat REQUIRED_VARS NEWMAT_LIBRARY NEWMAT_INCLUDE_DIR)
if(Newmat_FOUND AND NOT TARGET Newmat::Newmat)
  add_library(Newmat::Newmat UNKNOWN IMPORTED)
  set_target_properties(Newmat::Newmat PROPERTIES
    IMPORTED_LOCATION "${NEWMAT_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${NEWMAT_INCLUDE_DIR}")
endif()
