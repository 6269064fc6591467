# Finds libzstd: pkg-config first (Debian, the Windows dependency prefix),
# then a plain search for the header and the library.
#   Zstd_FOUND, target Zstd::Zstd
if(TARGET Zstd::Zstd)
  set(Zstd_FOUND TRUE)
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/VeskFindImported.cmake)
vesk_find_imported(Zstd::Zstd Zstd libzstd zstd.h zstd libzstd zstd_static)

vesk_found_imported(Zstd Zstd::Zstd)
