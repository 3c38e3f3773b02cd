# The simulator's plain types and the JSON forms of its control channel: no server and no Asio,
# so the Windows build of the tests compiles them too (tests/CMakeLists.txt includes this file
# there, with nlohmann_json::nlohmann_json from cmake/Windows.cmake).
include_guard(GLOBAL)

if(NOT TARGET nlohmann_json::nlohmann_json)
  find_package(nlohmann_json QUIET)
endif()

add_library(napisim_types STATIC
  ${CMAKE_CURRENT_LIST_DIR}/src/ControlJson.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/DeviceState.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/Fault.cpp)
target_include_directories(napisim_types PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
target_compile_features(napisim_types PUBLIC cxx_std_17)
if(TARGET nlohmann_json::nlohmann_json)
  target_link_libraries(napisim_types PUBLIC nlohmann_json::nlohmann_json)
else()
  find_path(NAPISIM_JSON_INCLUDE_DIR nlohmann/json.hpp REQUIRED)
  target_include_directories(napisim_types SYSTEM PUBLIC ${NAPISIM_JSON_INCLUDE_DIR})
endif()
vmlcmd_warnings(napisim_types)
