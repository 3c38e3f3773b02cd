# The library: one static core that the tests link directly, and the shared module for hosts
# built from it (libVmlCmd.so, or VmlCmd.dll).
set(VMLCMD_SOURCES
    capi/CInterface.cpp
    core/Factory.cpp
    core/NapiCommand.cpp
    core/Outcome.cpp
    core/ResultCode.cpp
    napi/Message.cpp
    napi/ReplyReaders.cpp
    napi/Session.cpp
    napi/TcpChannel.cpp
    commands/Network.cpp
    commands/Ptz.cpp
    commands/Regions.cpp
    commands/Settings.cpp
    commands/Video.cpp
    ui/DeviceConfigDialog.cpp
    ui/DeviceQueries.cpp
    ui/DialogState.cpp
    ui/MaskPage.cpp
    ui/PtzControlDialog.cpp
    ui/VideoSettingsDialog.cpp)

if(WIN32)
  include(cmake/Windows.cmake OPTIONAL RESULT_VARIABLE VMLCMD_WINDOWS_PARTS)
else()
  list(APPEND VMLCMD_SOURCES
       platform/posix/CodePage.cpp
       platform/posix/Memory.cpp
       platform/posix/Serial.cpp
       platform/posix/Sockets.cpp
       platform/posix/Texts.cpp
       ui/DialogsUnavailable.cpp)
endif()

add_library(vmlcmd_core STATIC ${VMLCMD_SOURCES} ${VMLCMD_PLATFORM_SOURCES})
target_include_directories(vmlcmd_core PUBLIC ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR})
target_compile_definitions(vmlcmd_core PUBLIC VMLCMD_BUILDING)
set_target_properties(vmlcmd_core PROPERTIES POSITION_INDEPENDENT_CODE ON CXX_VISIBILITY_PRESET hidden
                                             VISIBILITY_INLINES_HIDDEN ON)
vmlcmd_warnings(vmlcmd_core)
if(WIN32)
  target_link_libraries(vmlcmd_core PUBLIC ws2_32 user32)
endif()

if(WIN32)
  add_library(VmlCmd SHARED ${VMLCMD_WINDOWS_MODULE_SOURCES})
  target_link_libraries(VmlCmd PRIVATE -Wl,--whole-archive vmlcmd_core -Wl,--no-whole-archive ${VMLCMD_WINDOWS_LIBS})
  set_target_properties(VmlCmd PROPERTIES PREFIX "" OUTPUT_NAME VmlCmd)
else()
  # The exported names come from the core's VMLCMD_API marks; the version script keeps the
  # C++ runtime's names private too.
  add_library(VmlCmd SHARED cmake/empty.cpp)
  target_link_libraries(VmlCmd PRIVATE -Wl,--whole-archive vmlcmd_core -Wl,--no-whole-archive)
  target_link_options(VmlCmd PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/VmlCmd.map -Wl,--no-undefined)
  # libVmlCmd.so.<major>.<minor>.<patch> with SONAME libVmlCmd.so.<major>: the table is the ABI,
  # so only a change to it moves the major version.
  set_target_properties(VmlCmd PROPERTIES OUTPUT_NAME VmlCmd LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/VmlCmd.map
                                          VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
endif()
target_include_directories(VmlCmd PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
                                         $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
# The name hosts use, the same whether they found an installed package or added this tree.
add_library(VmlCmd::VmlCmd ALIAS VmlCmd)
