# Debian packages, one per install component, made by `cpack -G DEB` in a
# build configured with -DCMAKE_INSTALL_PREFIX=/usr (so that the library goes
# to the multiarch directory, /usr/lib/<triplet>):
#   libveskupdate1     the shared library                        (Runtime)
#   libveskupdate-dev  header, CMake package, pkg-config file,
#                      the link-time name libVeskUpdate.so       (Development)
# dpkg-shlibdeps works out what the library needs at run time (libcurl4,
# libjsoncpp25, the C and C++ runtimes); the library's own shlibs file tells
# packages built against it which libveskupdate1 they need.

set(VESKUPDATE_PACKAGE_MAINTAINER "VeskUpdate authors <veskupdate@example.org>" CACHE STRING
    "The packages' maintainer, \"Name <address>\"")
set(VESKUPDATE_PACKAGE_RELEASE 1 CACHE STRING "The Debian revision of the packages")

set(CPACK_PACKAGE_NAME veskupdate)
set(CPACK_PACKAGE_VENDOR "the VeskUpdate authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VESKUPDATE_PACKAGE_MAINTAINER}")
# Each package's description below starts with its own synopsis. CPack puts
# the summary in front of a description unless the summary is its default.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VESKUPDATE_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(_vesk_deb_version "${PROJECT_VERSION}-${VESKUPDATE_PACKAGE_RELEASE}")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libveskupdate1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The library lies where the loader looks, so its cache is refreshed.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "update-client library for host applications
VeskUpdate keeps one product of a host application up to date. Through
abstract C++ interfaces the host asks a version center (an HTTP server
answering JSON) which versions, patches, update packages and file checks
exist, records which patches were downloaded and installed, and loads
plug-in libraries that apply updates or check files.
.
This package contains the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libveskupdate-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libveskupdate1 (= ${_vesk_deb_version})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "update-client library for host applications - development files
VeskUpdate keeps one product of a host application up to date. Through
abstract C++ interfaces the host asks a version center (an HTTP server
answering JSON) which versions, patches, update packages and file checks
exist, records which patches were downloaded and installed, and loads
plug-in libraries that apply updates or check files.
.
This package contains the header VeskUpdate.h, the CMake package
(find_package(VeskUpdate)) and the pkg-config file (VeskUpdate).")

# Every package carries its copyright file and change log where Debian looks
# for them: /usr/share/doc/<package>/.
string(TIMESTAMP VESKUPDATE_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(CPACK_DEBIAN_PACKAGE_VERSION "${_vesk_deb_version}")
set(_vesk_deb_dir "${PROJECT_BINARY_DIR}/debian")
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in ${_vesk_deb_dir}/copyright @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${_vesk_deb_dir}/changelog.Debian @ONLY)
unset(CPACK_DEBIAN_PACKAGE_VERSION)
find_program(VESKUPDATE_GZIP gzip)
mark_as_advanced(VESKUPDATE_GZIP)
if(VESKUPDATE_GZIP)
  execute_process(
    COMMAND ${VESKUPDATE_GZIP} -9nf ${_vesk_deb_dir}/changelog.Debian
    RESULT_VARIABLE _vesk_gzip_result)
endif()
foreach(_vesk_component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER "${_vesk_component}" _vesk_upper)
  set(_vesk_doc_dir "${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${_vesk_upper}_PACKAGE_NAME}")
  install(FILES ${_vesk_deb_dir}/copyright DESTINATION ${_vesk_doc_dir} COMPONENT ${_vesk_component})
  if(EXISTS ${_vesk_deb_dir}/changelog.Debian.gz)
    install(FILES ${_vesk_deb_dir}/changelog.Debian.gz DESTINATION ${_vesk_doc_dir} COMPONENT ${_vesk_component})
  endif()
endforeach()
unset(_vesk_component)
unset(_vesk_upper)
unset(_vesk_doc_dir)

include(CPack)
