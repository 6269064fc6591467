# vesk_find_imported(<target> <prefix> <pkg-config module> <header> <library name>...)
# What the project's find modules share: the imported target <target> from
# pkg-config's <module> when it is there (Debian, the Windows dependency
# prefix), else from a plain search for <header> and the library, cached as
# <prefix>_INCLUDE_DIR and <prefix>_LIBRARY. With pkg-config it sets
# <prefix>_VERSION. When neither finds it, <target> is not defined.
#
# vesk_found_imported(<package> <target>)
# <package>_FOUND, with find_package's usual message and <package>_VERSION,
# from whether <target> is defined.
find_package(PkgConfig QUIET)
include(FindPackageHandleStandardArgs)
macro(vesk_find_imported target prefix module header)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(PC_${prefix} QUIET IMPORTED_TARGET ${module})
  endif()
  if(PC_${prefix}_FOUND)
    add_library(${target} INTERFACE IMPORTED)
    target_link_libraries(${target} INTERFACE PkgConfig::PC_${prefix})
    set(${prefix}_VERSION "${PC_${prefix}_VERSION}")
  else()
    find_path(${prefix}_INCLUDE_DIR ${header})
    find_library(${prefix}_LIBRARY NAMES ${ARGN})
    if(${prefix}_INCLUDE_DIR AND ${prefix}_LIBRARY)
      add_library(${target} UNKNOWN IMPORTED)
      set_target_properties(${target} PROPERTIES
        IMPORTED_LOCATION "${${prefix}_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${${prefix}_INCLUDE_DIR}")
    endif()
    mark_as_advanced(${prefix}_INCLUDE_DIR ${prefix}_LIBRARY)
  endif()
endmacro()

macro(vesk_found_imported package target)
  if(TARGET ${target})
    set(_vesk_imported_found TRUE)
  else()
    set(_vesk_imported_found FALSE)
  endif()
  find_package_handle_standard_args(${package} REQUIRED_VARS _vesk_imported_found VERSION_VAR ${package}_VERSION)
  unset(_vesk_imported_found)
endmacro()
