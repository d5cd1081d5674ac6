# ACE, as the imported target kvset::ACE. The build links it privately into
# the shared library; the installed package needs it only for a static one.
if(NOT TARGET kvset::ACE)
  find_library(KVSET_ACE_LIBRARY NAMES ACE REQUIRED)
  find_path(KVSET_ACE_INCLUDE_DIR NAMES ace/OS_NS_Thread.h REQUIRED)
  add_library(kvset::ACE UNKNOWN IMPORTED)
  set_target_properties(kvset::ACE PROPERTIES
    IMPORTED_LOCATION "${KVSET_ACE_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${KVSET_ACE_INCLUDE_DIR}")
endif()
