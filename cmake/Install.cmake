# What `cmake --install` puts where, in the GNU directories, as three components that the Debian
# packages follow one to one:
#   runtime      the shared library (libVmlCmd.so.<version> and its SONAME link)
#   development  the header, the development link, the CMake package and the pkg-config file
#   tools        napi-sim, vmlctl and vmlcmd-gateway with their man pages, the gateway's unit
#                and its monitoring files (monitoring/CMakeLists.txt)
# Tests, benchmarks and fuzz targets have no install rules at all.
include(CMakePackageConfigHelpers)

set(VMLCMD_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VmlCmd)

install(TARGETS VmlCmd EXPORT VmlCmdTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/include/VmlCmd/ICommand.h ${PROJECT_SOURCE_DIR}/include/VmlCmd/vmlcmd.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/VmlCmd
        COMPONENT development)

# find_package(VmlCmd 0.1 REQUIRED) and VmlCmd::VmlCmd. The files locate the prefix from where
# they are, so an installed tree can be moved (or unpacked anywhere, as the consumer test does).
install(EXPORT VmlCmdTargets NAMESPACE VmlCmd:: DESTINATION ${VMLCMD_CMAKE_PACKAGE_DIR} COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VmlCmdConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/VmlCmdConfig.cmake INSTALL_DESTINATION ${VMLCMD_CMAKE_PACKAGE_DIR})
# Hosts call the table by position, so any major version change breaks them.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VmlCmdConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VmlCmdConfig.cmake ${PROJECT_BINARY_DIR}/VmlCmdConfigVersion.cmake
        DESTINATION ${VMLCMD_CMAKE_PACKAGE_DIR} COMPONENT development)

# pkg-config: the prefix is found from the file's own folder, for the same reason.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(VMLCMD_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(VMLCMD_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  file(RELATIVE_PATH vmlcmd_pc_up /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" vmlcmd_pc_up "${vmlcmd_pc_up}")
  set(VMLCMD_PC_PREFIX "\${pcfiledir}/${vmlcmd_pc_up}")
  set(VMLCMD_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(VMLCMD_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(VMLCMD_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/VmlCmd.pc.in ${PROJECT_BINARY_DIR}/VmlCmd.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/VmlCmd.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/operations.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT development)
# The guides and references beside the README, as its links name them (docs/...); the pictures
# stay in the source tree.
file(GLOB vmlcmd_doc_pages ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${vmlcmd_doc_pages} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs COMPONENT development)

if(TARGET napi-sim AND TARGET vmlctl)
  install(TARGETS napi-sim vmlctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  # The schema of vmlctl config's documents, for editors and other checkers; vmlctl carries
  # its own copy compiled in.
  install(FILES ${PROJECT_SOURCE_DIR}/config/vmlcmd-config.schema.json DESTINATION ${CMAKE_INSTALL_DATADIR}/vmlcmd
          COMPONENT tools)
  if(TARGET vmlcmd-gateway)
    # The unit is installed, not enabled: the inventory and tokens must be written first.
    install(TARGETS vmlcmd-gateway RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/vmlcmd-gateway.service DESTINATION lib/systemd/system
            COMPONENT tools)
  endif()
  include(${PROJECT_SOURCE_DIR}/cmake/ManPages.cmake)
endif()
