# Debian packages of the native build, one per install component (cmake/Install.cmake):
#   libvmlcmd<major>  the shared library
#   libvmlcmd-dev     header, development link, CMake package, pkg-config file, reference
#   vmlcmd-tools      napi-sim, vmlctl and vmlcmd-gateway with their man pages
#   python3-vmlcmd    the Python package vmlcmd, when the module is built
# `cpack -G DEB` in the build folder (or the `package` target) writes them to packages/ there.
set(VMLCMD_DEB_REVISION 1)
set(VMLCMD_DEB_VERSION ${PROJECT_VERSION}-${VMLCMD_DEB_REVISION})
set(VMLCMD_RUNTIME_PACKAGE libvmlcmd${PROJECT_VERSION_MAJOR})

# Every package carries the copyright file and the changelog in its own doc folder, compressed
# the way Debian's tools do it (-n: no name or time stamp, so the bytes are reproducible).
find_program(VMLCMD_GZIP gzip REQUIRED)
set(vmlcmd_changelog ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz)
add_custom_command(OUTPUT ${vmlcmd_changelog}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
                   COMMAND ${VMLCMD_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${vmlcmd_changelog}
                   DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
                   COMMENT "Debian changelog")
add_custom_target(debian-changelog ALL DEPENDS ${vmlcmd_changelog})
foreach(component_package runtime:${VMLCMD_RUNTIME_PACKAGE} development:libvmlcmd-dev tools:vmlcmd-tools
        pythondeb:python3-vmlcmd)
  string(REPLACE ":" ";" pair ${component_package})
  list(GET pair 0 component)
  list(GET pair 1 package)
  if(component STREQUAL "tools" AND NOT (TARGET napi-sim AND TARGET vmlctl))
    continue()
  endif()
  if(component STREQUAL "pythondeb" AND NOT TARGET vmlcmd_python)
    continue()
  endif()
  # Only in the packages: a plain `cmake --install` keeps to the GNU layout.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${vmlcmd_changelog}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

set(CPACK_PACKAGE_NAME vmlcmd)
set(CPACK_PACKAGE_VENDOR "VmlCmd developers")
set(CPACK_PACKAGE_CONTACT "VmlCmd developers <maintainers@users.noreply.vmlcmd.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)
if(TARGET napi-sim AND TARGET vmlctl)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()
if(TARGET vmlcmd_python)
  list(APPEND CPACK_COMPONENTS_ALL pythondeb)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VMLCMD_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The library's own package answers dpkg-shlibdeps for the tools built against it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/Linux/DEB/vmlcmd-${PROJECT_VERSION}-Linux/runtime/usr/${CMAKE_INSTALL_LIBDIR})

# The first line of each description is the package's synopsis; CPack indents the others and
# turns empty lines into " .".
string(CONCAT vmlcmd_about
       "VmlCmd talks to networked video servers (video encoders with camera\n"
       "inputs, PTZ heads on a serial bus, on-screen caption and clock,\n"
       "privacy-mask and motion areas) in their request/reply protocol NAPI\n"
       "over TCP. A host gets one command object per device from the factory\n"
       "CreateICommand and calls its 92 operations by their position in its\n"
       "table.")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${VMLCMD_RUNTIME_PACKAGE})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "client library for networked video servers\n${vmlcmd_about}\n\nThis package holds the shared library.")
# The loader's cache is refreshed through dpkg's ldconfig trigger.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvmlcmd-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${VMLCMD_RUNTIME_PACKAGE} (= ${VMLCMD_DEB_VERSION})")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "client library for networked video servers (development files)\n${vmlcmd_about}\n\n"
    "This package holds the header, the development link, the CMake package\n"
    "(find_package(VmlCmd)), the pkg-config file VmlCmd.pc and the operation\n"
    "reference.")
string(CONCAT CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION ${CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION})

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME vmlcmd-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
# dpkg-shlibdeps finds libVmlCmd.so.0 in the runtime package's staging folder but knows no
# package for it (the shlibs file is not installed yet), so that one dependency is named here;
# the computed ones are added to it.
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${VMLCMD_RUNTIME_PACKAGE} (= ${VMLCMD_DEB_VERSION})")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
    "simulated video server and command-line client for VmlCmd\n${vmlcmd_about}\n\n"
    "This package holds napi-sim, a simulated video server on loopback with\n"
    "fault injection; vmlctl, which runs any operation of the library\n"
    "against a device or an embedded simulator, and backs up, compares and\n"
    "applies a device's whole configuration (schema in /usr/share/vmlcmd);\n"
    "and vmlcmd-gateway, which serves a fleet over HTTP/JSON with an OpenAPI\n"
    "description and a web console (its systemd unit is installed but not\n"
    "enabled; Prometheus alert rules and an example scrape configuration\n"
    "for it in /usr/share/vmlcmd-gateway/monitoring).")
string(CONCAT CPACK_COMPONENT_TOOLS_DESCRIPTION ${CPACK_COMPONENT_TOOLS_DESCRIPTION})

set(CPACK_DEBIAN_PYTHONDEB_PACKAGE_NAME python3-vmlcmd)
set(CPACK_DEBIAN_PYTHONDEB_PACKAGE_SECTION python)
# The module carries the library's core and the simulator inside it, so it needs no other
# package of ours; it is built for one interpreter version (its file name says which).
set(CPACK_DEBIAN_PYTHONDEB_PACKAGE_DEPENDS
    "python3 (>= ${VMLCMD_PYTHON_VERSION}~), python3 (<< ${VMLCMD_PYTHON_VERSION_NEXT})")
# The collection beside the package needs ansible-core only where Ansible is used.
set(CPACK_DEBIAN_PYTHONDEB_PACKAGE_SUGGESTS "ansible-core")
set(CPACK_COMPONENT_PYTHONDEB_DESCRIPTION
    "Python package for VmlCmd, with a simulated video server\n${vmlcmd_about}\n\n"
    "This package holds the Python package vmlcmd: a Device with the\n"
    "operations as properties and methods, exceptions that carry the reason\n"
    "of a failure, and a Simulator on loopback for tests without hardware.\n"
    "It also holds the Ansible collection vmlcmd.devices, in\n"
    "/usr/share/ansible/collections where Debian's ansible-core finds it,\n"
    "and as a tarball in /usr/share/vmlcmd/ansible for other controllers.")
string(CONCAT CPACK_COMPONENT_PYTHONDEB_DESCRIPTION ${CPACK_COMPONENT_PYTHONDEB_DESCRIPTION})

include(CPack)
