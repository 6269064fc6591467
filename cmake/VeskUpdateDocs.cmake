# The API reference: `cmake --build <build-dir> --target docs` writes HTML made
# from the public header to <build-dir>/docs/html. With VESKUPDATE_WERROR (as
# in CI) any Doxygen warning fails the target, an undocumented interface or
# operation among them.
find_package(Doxygen QUIET)
if(NOT DOXYGEN_FOUND)
  message(STATUS "VeskUpdate: Doxygen not found (doxygen): there is no docs target")
  return()
endif()

set(DOXYGEN_PROJECT_NAME VeskUpdate)
set(DOXYGEN_PROJECT_NUMBER ${PROJECT_VERSION})
set(DOXYGEN_PROJECT_BRIEF "Update-client library")
set(DOXYGEN_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/docs)
set(DOXYGEN_FULL_PATH_NAMES NO)
set(DOXYGEN_JAVADOC_AUTOBRIEF YES)
set(DOXYGEN_HAVE_DOT NO)
set(DOXYGEN_HTML_TIMESTAMP NO)
set(DOXYGEN_QUIET YES)
set(DOXYGEN_WARN_IF_UNDOCUMENTED YES)
set(DOXYGEN_WARN_IF_DOC_ERROR YES)
if(VESKUPDATE_WERROR)
  set(DOXYGEN_WARN_AS_ERROR FAIL_ON_WARNINGS)
endif()
# The export macros are noise in the reference.
set(DOXYGEN_ENABLE_PREPROCESSING YES)
set(DOXYGEN_MACRO_EXPANSION YES)
set(DOXYGEN_EXPAND_ONLY_PREDEF YES)
set(DOXYGEN_PREDEFINED "VESKUPDATE_API=" "VESKUPDATE_TEMPLATE_API=")

doxygen_add_docs(docs ${PROJECT_SOURCE_DIR}/include/VeskUpdate.h
  COMMENT "API reference: ${PROJECT_BINARY_DIR}/docs/html/index.html")
