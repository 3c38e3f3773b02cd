# One warning set for every target of the project.
function(vmlcmd_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
                                           -Wformat=2 -Wnon-virtual-dtor -Wold-style-cast)
  if(VMLCMD_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
