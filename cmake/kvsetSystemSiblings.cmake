# The sibling libraries installed on the system (KVSET_SIBLINGS=system), as
# the imported targets kvset::cxexception and kvset::s100symbol. They are
# looked up by the stand-ins' names, libcxexception and libs100symbol, on the
# usual search path (CMAKE_PREFIX_PATH); give a library of another name or
# place as KVSET_CXEXCEPTION_LIBRARY or KVSET_S100SYMBOL_LIBRARY. Their
# interface is the one in kvset/CxException.h, kvset/CxS100Exception.h and
# kvset/ctsym.h, which the library is compiled against and installs. Used by
# the build and by the installed package.
foreach(sibling IN ITEMS cxexception s100symbol)
  if(NOT TARGET kvset::${sibling})
    string(TOUPPER ${sibling} upper)
    find_library(KVSET_${upper}_LIBRARY NAMES ${sibling} REQUIRED)
    add_library(kvset::${sibling} SHARED IMPORTED)
    set_target_properties(kvset::${sibling} PROPERTIES IMPORTED_LOCATION "${KVSET_${upper}_LIBRARY}")
  endif()
endforeach()
set_property(TARGET kvset::s100symbol APPEND PROPERTY INTERFACE_LINK_LIBRARIES kvset::cxexception)
