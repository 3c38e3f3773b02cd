# Fails while the committed reference differs from what its generator writes now. DOC_TARGET: the
# build target that rewrites it (operations-doc unless given).
if(NOT DOC_TARGET)
  set(DOC_TARGET operations-doc)
endif()
execute_process(COMMAND ${GENERATOR} ${OUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${GENERATOR} failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${DOC} RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "${DOC} is out of date: run `cmake --build --preset default --target ${DOC_TARGET}`")
endif()
