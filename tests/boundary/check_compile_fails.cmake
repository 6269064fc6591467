# Compiles SOURCE once per case, 0 to LAST, with -DDELETE_CASE=<case>:
# case 0 must compile, every other case must fail with a diagnostic that
# names a protected member (so a failure for any other reason is caught).
#   cmake -DCOMPILER=... -DINCLUDE=... -DSOURCE=... -DLAST=... -P check_compile_fails.cmake
set(failures "")
foreach(case RANGE 0 ${LAST})
  execute_process(
    COMMAND ${COMPILER} -std=c++17 -fsyntax-only -I${INCLUDE} -DDELETE_CASE=${case} ${SOURCE}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(case EQUAL 0)
    if(NOT result EQUAL 0)
      string(APPEND failures "case 0 does not compile:\n${output}\n")
    endif()
  elseif(result EQUAL 0)
    string(APPEND failures "case ${case} compiles\n")
  elseif(NOT output MATCHES "protected")
    string(APPEND failures "case ${case} fails for another reason:\n${output}\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "cases 1 to ${LAST} refused, case 0 compiles")
