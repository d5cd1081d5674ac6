include(CMakePackageConfigHelpers)

install(DIRECTORY include/kvset DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The documentation: format, JSON form, performance, and the changelog.
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES README.md CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_BINARY_DIR}/include/kvset/version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kvset)
install(TARGETS ${KVSET_INSTALL_TARGETS}
  EXPORT kvsetTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(KVSET_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kvset)
install(EXPORT kvsetTargets NAMESPACE kvset:: DESTINATION ${KVSET_CMAKE_DIR})
configure_package_config_file(cmake/kvsetConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/kvsetConfig.cmake
  INSTALL_DESTINATION ${KVSET_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/kvsetConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/kvsetConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/kvsetConfigVersion.cmake
  cmake/kvsetDependencies.cmake
  DESTINATION ${KVSET_CMAKE_DIR})
if(KVSET_SIBLINGS STREQUAL "system")
  install(FILES cmake/kvsetSystemSiblings.cmake DESTINATION ${KVSET_CMAKE_DIR})
endif()

# The .pc file finds its prefix relative to its own folder, so the package
# can be installed anywhere.
file(RELATIVE_PATH KVSET_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" KVSET_PC_TO_PREFIX "${KVSET_PC_TO_PREFIX}")
# The public class headers use the siblings' exceptions: C++ programs link
# them by name (the stand-ins, beside libkvset) or by the path where they were
# found, with a run path to their folder.
if(KVSET_SIBLINGS STREQUAL "bundled")
  set(KVSET_PC_SIBLING_LIBS "-ls100symbol -lcxexception")
else()
  set(folders)
  foreach(library IN ITEMS "${KVSET_S100SYMBOL_LIBRARY}" "${KVSET_CXEXCEPTION_LIBRARY}")
    get_filename_component(folder "${library}" DIRECTORY)
    list(APPEND folders "-Wl,-rpath,${folder}")
  endforeach()
  list(REMOVE_DUPLICATES folders)
  list(JOIN folders " " folders)
  set(KVSET_PC_SIBLING_LIBS "${folders} ${KVSET_S100SYMBOL_LIBRARY} ${KVSET_CXEXCEPTION_LIBRARY}")
endif()
configure_file(cmake/kvset.pc.in ${CMAKE_CURRENT_BINARY_DIR}/kvset.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kvset.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The debugger extension, where GDB looks for the scripts of an object file:
# <datadir>/gdb/auto-load/<the library's absolute folder>/<its file name>-gdb.py.
# The prefix is the one given at install time (cmake --install --prefix).
install(CODE "
  set(kvset_libdir \"${CMAKE_INSTALL_LIBDIR}\")
  if(NOT IS_ABSOLUTE \"\${kvset_libdir}\")
    set(kvset_libdir \"\${CMAKE_INSTALL_PREFIX}/\${kvset_libdir}\")
  endif()
  file(INSTALL \"${KVSET_GDB_SCRIPT}\"
    DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/gdb/auto-load\${kvset_libdir}\"
    RENAME \"libkvset.so.${PROJECT_VERSION}-gdb.py\")
")
