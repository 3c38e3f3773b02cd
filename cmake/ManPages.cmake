# Man pages of napi-sim(1), vmlctl(1) and vmlcmd-gateway(1), made by help2man from the programs' own --help and
# --version, so they say what the built programs do. Installed compressed, as Debian wants.
find_program(VMLCMD_HELP2MAN help2man)
find_program(VMLCMD_GZIP gzip)
if(NOT VMLCMD_HELP2MAN OR NOT VMLCMD_GZIP)
  message(WARNING "help2man or gzip not found: no man pages (apt-get install help2man)")
  return()
endif()

set(VMLCMD_MAN_DIR ${PROJECT_BINARY_DIR}/man)
set(vmlcmd_man_pages)
set(vmlcmd_man_programs napi-sim vmlctl)
if(TARGET vmlcmd-gateway)
  list(APPEND vmlcmd_man_programs vmlcmd-gateway)
endif()
foreach(program IN LISTS vmlcmd_man_programs)
  if(program STREQUAL "vmlcmd-gateway")
    set(name "video servers over HTTP/JSON with a web console")
  elseif(program STREQUAL "vmlctl")
    set(name "run one operation of the video-server client library")
  else()
    set(name "simulated NAPI video server on a loopback TCP port")
  endif()
  set(page ${VMLCMD_MAN_DIR}/${program}.1)
  set(include ${PROJECT_SOURCE_DIR}/packaging/${program}.h2m)
  add_custom_command(
    OUTPUT ${page} ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VMLCMD_MAN_DIR}
    COMMAND ${VMLCMD_HELP2MAN} --no-info --no-discard-stderr
            --section 1 --name ${name} --include ${include} --output ${page} $<TARGET_FILE:${program}>
    COMMAND ${VMLCMD_GZIP} -9nf -k ${page}
    DEPENDS ${program} ${include}
    COMMENT "Man page ${program}(1)"
    VERBATIM)
  list(APPEND vmlcmd_man_pages ${page} ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
endforeach()
add_custom_target(man-pages ALL DEPENDS ${vmlcmd_man_pages})
