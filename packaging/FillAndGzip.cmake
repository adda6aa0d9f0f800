# cmake -DIN=file.in -DOUT=file [-DVALUES=values.cmake] -P FillAndGzip.cmake
# Writes OUT from IN, with its @-names filled from VALUES when given, and
# OUT.gz beside it (-n: no name or time in the header, so that packages
# built twice are the same).
if(VALUES)
  include(${VALUES})
  configure_file(${IN} ${OUT} @ONLY)
else()
  configure_file(${IN} ${OUT} COPYONLY)
endif()
execute_process(COMMAND gzip -9n -c ${OUT} OUTPUT_FILE ${OUT}.gz RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip of ${OUT} failed: ${status}")
endif()
