# Finds libzstd: pkg-config first (Debian, the Windows dependency prefix),
# then a plain search for the header and the library.
#   Zstd_FOUND, target Zstd::Zstd
if(TARGET Zstd::Zstd)
  set(Zstd_FOUND TRUE)
  return()
endif()

find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(PC_ZSTD QUIET IMPORTED_TARGET libzstd)
endif()
if(PC_ZSTD_FOUND)
  add_library(Zstd::Zstd INTERFACE IMPORTED)
  target_link_libraries(Zstd::Zstd INTERFACE PkgConfig::PC_ZSTD)
  set(Zstd_VERSION "${PC_ZSTD_VERSION}")
else()
  find_path(Zstd_INCLUDE_DIR zstd.h)
  find_library(Zstd_LIBRARY NAMES zstd libzstd zstd_static)
  if(Zstd_INCLUDE_DIR AND Zstd_LIBRARY)
    add_library(Zstd::Zstd UNKNOWN IMPORTED)
    set_target_properties(Zstd::Zstd PROPERTIES
      IMPORTED_LOCATION "${Zstd_LIBRARY}"
      INTERFACE_INCLUDE_DIRECTORIES "${Zstd_INCLUDE_DIR}")
  endif()
  mark_as_advanced(Zstd_INCLUDE_DIR Zstd_LIBRARY)
endif()

include(FindPackageHandleStandardArgs)
if(TARGET Zstd::Zstd)
  set(_vesk_zstd_found TRUE)
endif()
find_package_handle_standard_args(Zstd REQUIRED_VARS _vesk_zstd_found VERSION_VAR Zstd_VERSION)
unset(_vesk_zstd_found)
