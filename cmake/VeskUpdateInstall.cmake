# Install rules: the shared library (component Runtime); the header, the
# link-time name of the library, the CMake package and the pkg-config file
# (component Development). Consumers use either
#   find_package(VeskUpdate 1 CONFIG REQUIRED)  ->  VeskUpdate::VeskUpdate
#   pkg-config --cflags --libs VeskUpdate
# libcurl and jsoncpp are linked privately into the shared library and none of
# their headers reaches the public one, so neither package names them.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VESKUPDATE_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/VeskUpdate" CACHE STRING
    "Where the CMake package is installed, relative to the prefix")
mark_as_advanced(VESKUPDATE_CMAKE_DIR)

install(TARGETS VeskUpdate EXPORT VeskUpdateTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/VeskUpdate.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

# CMake package. The config file only includes the targets beside it, so the
# same file serves the install tree and the build tree.
configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/VeskUpdateConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VeskUpdateConfig.cmake
  INSTALL_DESTINATION ${VESKUPDATE_CMAKE_DIR})
# 1.x serves every consumer that asks for 1.y with y <= x, and no other major.
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/VeskUpdateConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/VeskUpdateConfig.cmake
  ${PROJECT_BINARY_DIR}/VeskUpdateConfigVersion.cmake
  DESTINATION ${VESKUPDATE_CMAKE_DIR} COMPONENT Development)
install(EXPORT VeskUpdateTargets NAMESPACE VeskUpdate::
  DESTINATION ${VESKUPDATE_CMAKE_DIR} COMPONENT Development)
# The build tree as a package too: find_package(VeskUpdate) with
# VeskUpdate_DIR set to the build directory uses the library just built.
export(EXPORT VeskUpdateTargets NAMESPACE VeskUpdate::
  FILE ${PROJECT_BINARY_DIR}/VeskUpdateTargets.cmake)

# pkg-config file, relocatable: its prefix is found from where the file
# itself lies, so a moved install tree keeps working.
function(vesk_pc_path var dir)
  if(IS_ABSOLUTE "${dir}")
    set(${var} "${dir}" PARENT_SCOPE)
  else()
    set(${var} "\${prefix}/${dir}" PARENT_SCOPE)
  endif()
endfunction()
set(VESKUPDATE_PC_DIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(VESKUPDATE_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH VESKUPDATE_PC_PREFIX
    "/prefix/${VESKUPDATE_PC_DIR}" "/prefix")
  string(REGEX REPLACE "/$" "" VESKUPDATE_PC_PREFIX "\${pcfiledir}/${VESKUPDATE_PC_PREFIX}")
endif()
vesk_pc_path(VESKUPDATE_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
vesk_pc_path(VESKUPDATE_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/VeskUpdate.pc.in ${PROJECT_BINARY_DIR}/VeskUpdate.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/VeskUpdate.pc
  DESTINATION ${VESKUPDATE_PC_DIR} COMPONENT Development)

# Packages are made from the top-level project only.
if(PROJECT_IS_TOP_LEVEL)
  include(${CMAKE_CURRENT_LIST_DIR}/VeskUpdatePackaging.cmake)
endif()
