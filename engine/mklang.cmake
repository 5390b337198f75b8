# Makes the installer language data from engine/lang.txt and engine/lang-world.txt (UTF-8, joined in
# that order) behind the header line "PRLANG <length>" (CR LF).
# Run as: cmake "-DSRC=lang.txt;lang-world.txt" -DOUT=Lang.dat -P mklang.cmake
set(body "")
foreach(src ${SRC})
  file(READ ${src} text)
  string(APPEND body "${text}")
endforeach()
# The engine shows what it reads as UTF-8: a byte that is not would come out as a wrong letter.
file(WRITE ${OUT}.body "${body}")
execute_process(COMMAND iconv -f UTF-8 -t UTF-8 INPUT_FILE ${OUT}.body OUTPUT_QUIET RESULT_VARIABLE rc)
if(rc)
  file(REMOVE ${OUT}.body)
  message(FATAL_ERROR "the language texts are not valid UTF-8: ${SRC}")
endif()
file(SIZE ${OUT}.body len)
file(WRITE ${OUT}.head "PRLANG ${len}\r\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${OUT}.head ${OUT}.body OUTPUT_FILE ${OUT} RESULT_VARIABLE rc)
file(REMOVE ${OUT}.head ${OUT}.body)
if(rc)
  message(FATAL_ERROR "could not write ${OUT}")
endif()
