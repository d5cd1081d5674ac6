# Dependencies of the library, as imported targets. Used by the build and by
# the installed package, so consumers get the same link line.
if(NOT TARGET kvset::ACE)
  find_library(KVSET_ACE_LIBRARY NAMES ACE REQUIRED)
  find_path(KVSET_ACE_INCLUDE_DIR NAMES ace/OS_NS_Thread.h REQUIRED)
  add_library(kvset::ACE UNKNOWN IMPORTED)
  set_target_properties(kvset::ACE PROPERTIES
    IMPORTED_LOCATION "${KVSET_ACE_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${KVSET_ACE_INCLUDE_DIR}")
endif()
