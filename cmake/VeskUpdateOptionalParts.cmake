# The tests, tools and benchmarks each need a dependency the library does not.
# A missing one turns its part off with a message instead of failing the
# configure. The switch is overridden for this configure only (a normal
# variable shadows the cache), so installing the dependency later brings the
# part back without touching the cache.

# Turns the part behind `switch` off, saying why.
macro(vesk_part_off switch why)
  message(STATUS "VeskUpdate: ${why}")
  set(${switch} OFF)
endmacro()

if(VESKUPDATE_BUILD_TOOLS OR VESKUPDATE_BUILD_TESTS OR VESKUPDATE_BUILD_BENCH)
  # cpp-httplib ships as a compiled library; its pkg-config flags must match
  # the build of the library or its classes change layout.
  pkg_check_modules(HTTPLIB QUIET IMPORTED_TARGET cpp-httplib)
  if(NOT HTTPLIB_FOUND AND NOT PKG_CONFIG_FOUND AND WIN32)
    # No pkg-config (vcpkg with MSVC): the header-only CMake package.
    find_package(httplib CONFIG QUIET)
    if(httplib_FOUND)
      add_library(PkgConfig::HTTPLIB INTERFACE IMPORTED)
      target_link_libraries(PkgConfig::HTTPLIB INTERFACE httplib::httplib)
      set(HTTPLIB_FOUND TRUE)
    endif()
  endif()
  if(NOT HTTPLIB_FOUND)
    if(VESKUPDATE_BUILD_TOOLS)
      vesk_part_off(VESKUPDATE_BUILD_TOOLS
        "cpp-httplib not found (libcpp-httplib-dev): the reference version center is not built")
    endif()
    if(VESKUPDATE_BUILD_TESTS)
      vesk_part_off(VESKUPDATE_BUILD_TESTS
        "cpp-httplib not found (libcpp-httplib-dev): the tests, which serve HTTP, are not built")
    endif()
  endif()
endif()

if(VESKUPDATE_BUILD_TESTS)
  find_package(GTest QUIET)
  if(NOT GTest_FOUND OR NOT TARGET GTest::gmock)
    vesk_part_off(VESKUPDATE_BUILD_TESTS
      "GoogleTest with GoogleMock not found (libgtest-dev, libgmock-dev): the tests are not built")
  endif()
endif()

if(VESKUPDATE_BUILD_BENCH)
  if(VESKUPDATE_SANITIZE)
    vesk_part_off(VESKUPDATE_BUILD_BENCH "sanitizers are on: the benchmarks are not built")
  else()
    find_package(benchmark QUIET)
    if(NOT benchmark_FOUND)
      vesk_part_off(VESKUPDATE_BUILD_BENCH
        "Google Benchmark not found (libbenchmark-dev): the benchmarks are not built")
    endif()
  endif()
endif()

set(_vesk_parts "the library")
foreach(_vesk_part tests tools examples bench fuzzers)
  string(TOUPPER "${_vesk_part}" _vesk_switch)
  if(VESKUPDATE_BUILD_${_vesk_switch})
    string(REPLACE "bench" "benchmarks" _vesk_part "${_vesk_part}")
    string(APPEND _vesk_parts ", ${_vesk_part}")
  endif()
endforeach()
message(STATUS "VeskUpdate ${PROJECT_VERSION}: building ${_vesk_parts}")
unset(_vesk_parts)
unset(_vesk_part)
unset(_vesk_switch)
