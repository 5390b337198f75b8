# Makes the installer language data from engine/lang.txt (UTF-8): the text in code page 1250 behind
# the header line "PRLANG <length>" (CR LF). Run as: cmake -DSRC=lang.txt -DOUT=Lang.dat -P mklang.cmake
execute_process(COMMAND iconv -f UTF-8 -t CP1250 INPUT_FILE ${SRC} OUTPUT_FILE ${OUT}.body RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "lang.txt holds a character that code page 1250 lacks")
endif()
file(SIZE ${OUT}.body len)
file(WRITE ${OUT}.head "PRLANG ${len}\r\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${OUT}.head ${OUT}.body OUTPUT_FILE ${OUT} RESULT_VARIABLE rc)
file(REMOVE ${OUT}.head ${OUT}.body)
if(rc)
  message(FATAL_ERROR "could not write ${OUT}")
endif()
