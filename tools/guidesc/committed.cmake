# Regenerates the editor's description and compares it byte for byte with the committed one.
execute_process(COMMAND ${GUIDESC} ${WORK} RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc)
  message(FATAL_ERROR "guidesc failed (${rc}): ${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK} ${COMMITTED} RESULT_VARIABLE diff)
if(diff)
  message(FATAL_ERROR "${COMMITTED} is not what guidesc writes; regenerate it: guidesc ${COMMITTED}")
endif()
