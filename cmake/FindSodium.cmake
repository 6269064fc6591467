# Finds libsodium and provides the imported target Sodium::Sodium.
#
# pkg-config's libsodium.pc comes first (Debian, and a cross prefix whose
# .pc files PKG_CONFIG_LIBDIR points at); without it, the header and the
# library are looked for on CMake's search paths (CMAKE_PREFIX_PATH,
# CMAKE_FIND_ROOT_PATH for a cross build). A static libsodium needs
# SODIUM_STATIC defined by its users on Windows: it comes with the .pc
# file's flags, or set Sodium_USE_STATIC_LIBS to look for a static library
# and get that definition.
#
# Sets Sodium_FOUND, Sodium_VERSION, Sodium_INCLUDE_DIR, Sodium_LIBRARY.

find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(PC_SODIUM QUIET libsodium)
endif()

find_path(Sodium_INCLUDE_DIR sodium.h HINTS ${PC_SODIUM_INCLUDEDIR} ${PC_SODIUM_INCLUDE_DIRS})
if(Sodium_USE_STATIC_LIBS)
  set(_sodium_names libsodium.a sodium.lib libsodium.lib)
else()
  set(_sodium_names sodium libsodium)
endif()
find_library(Sodium_LIBRARY NAMES ${_sodium_names} HINTS ${PC_SODIUM_LIBDIR} ${PC_SODIUM_LIBRARY_DIRS})
unset(_sodium_names)

if(PC_SODIUM_VERSION)
  set(Sodium_VERSION ${PC_SODIUM_VERSION})
elseif(Sodium_INCLUDE_DIR AND EXISTS "${Sodium_INCLUDE_DIR}/sodium/version.h")
  file(STRINGS "${Sodium_INCLUDE_DIR}/sodium/version.h" _sodium_version_line
       REGEX "^#define SODIUM_VERSION_STRING \"[^\"]+\"")
  string(REGEX REPLACE ".*\"([^\"]+)\".*" "\\1" Sodium_VERSION "${_sodium_version_line}")
  unset(_sodium_version_line)
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Sodium
  REQUIRED_VARS Sodium_LIBRARY Sodium_INCLUDE_DIR
  VERSION_VAR Sodium_VERSION)

if(Sodium_FOUND AND NOT TARGET Sodium::Sodium)
  add_library(Sodium::Sodium UNKNOWN IMPORTED)
  set_target_properties(Sodium::Sodium PROPERTIES
    IMPORTED_LOCATION "${Sodium_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Sodium_INCLUDE_DIR}")
  # The .pc file's other flags come along: a static build's says
  # -DSODIUM_STATIC there.
  if(PC_SODIUM_CFLAGS_OTHER)
    set_property(TARGET Sodium::Sodium APPEND PROPERTY INTERFACE_COMPILE_OPTIONS ${PC_SODIUM_CFLAGS_OTHER})
  endif()
  if(Sodium_USE_STATIC_LIBS)
    set_property(TARGET Sodium::Sodium APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC)
  endif()
endif()
mark_as_advanced(Sodium_INCLUDE_DIR Sodium_LIBRARY)
