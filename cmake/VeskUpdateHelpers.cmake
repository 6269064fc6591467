# Warning flags are per-target and private; VESKUPDATE_WERROR turns them into
# errors (CI does).
function(vesk_target_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
    if(VESKUPDATE_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
    return()
  endif()
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(VESKUPDATE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# A GoogleTest executable whose tests CTest runs one by one.
#   vesk_add_test(<name> SOURCES <files...> [LIBS <targets...>])
# It links the library's objects directly, so tests reach internal classes,
# and the shared test support (tests/support).
function(vesk_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE VeskUpdateObjects GTest::gtest GTest::gmock GTest::gtest_main
                        VeskTestSupport ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  vesk_target_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300 SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endfunction()
