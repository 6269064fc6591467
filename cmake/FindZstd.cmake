# Finds libzstd: pkg-config first (Debian, the Windows dependency prefix),
# then a plain search for the header and the library.
#   Zstd_FOUND, target Zstd::Zstd
if(TARGET Zstd::Zstd)
  set(Zstd_FOUND TRUE)
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/VeskFindImported.cmake)
vesk_find_imported(Zstd::Zstd Zstd libzstd zstd.h zstd libzstd zstd_static)

include(FindPackageHandleStandardArgs)
if(TARGET Zstd::Zstd)
  set(_vesk_zstd_found TRUE)
endif()
find_package_handle_standard_args(Zstd REQUIRED_VARS _vesk_zstd_found VERSION_VAR Zstd_VERSION)
unset(_vesk_zstd_found)
