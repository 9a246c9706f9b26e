# The committed sample database must be exactly what db-import makes of the sample JSON.
# Called with -DCALC=<brelona-calc> -DDATA=<data folder> -DOUT=<scratch file>.
execute_process(COMMAND ${CALC} db-import ${DATA}/problems.json ${OUT} --force
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "db-import failed (${rc}): ${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${DATA}/Problems.d RESULT_VARIABLE same)
if(NOT same EQUAL 0)
  message(FATAL_ERROR "data/Problems.d differs from a fresh import of data/problems.json; "
                      "regenerate it with: brelona-calc db-import data/problems.json data/Problems.d --force")
endif()
