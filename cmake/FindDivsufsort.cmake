# Finds libdivsufsort (suffix arrays with 32-bit indexes) and, when present,
# libdivsufsort64 (64-bit indexes): pkg-config first (Debian, the Windows
# dependency prefix), then a plain search for the headers and the libraries.
#   Divsufsort_FOUND, target Divsufsort::Divsufsort
#   Divsufsort_64_FOUND, target Divsufsort::Divsufsort64 (optional)
if(TARGET Divsufsort::Divsufsort)
  set(Divsufsort_FOUND TRUE)
  if(TARGET Divsufsort::Divsufsort64)
    set(Divsufsort_64_FOUND TRUE)
  endif()
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/VeskFindImported.cmake)
vesk_find_imported(Divsufsort::Divsufsort divsufsort libdivsufsort divsufsort.h divsufsort libdivsufsort)
vesk_find_imported(Divsufsort::Divsufsort64 divsufsort64 libdivsufsort64 divsufsort64.h divsufsort64 libdivsufsort64)
set(Divsufsort_VERSION "${divsufsort_VERSION}")
if(TARGET Divsufsort::Divsufsort64)
  set(Divsufsort_64_FOUND TRUE)
else()
  set(Divsufsort_64_FOUND FALSE)
endif()

vesk_found_imported(Divsufsort Divsufsort::Divsufsort)
