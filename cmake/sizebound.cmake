# Fails a build whose tool file passes its size bound: cmake -DFILE=path -DBOUND=bytes -P sizebound.cmake.
# The file goes, so that the next build makes it again rather than taking it as up to date.
file(SIZE "${FILE}" size)
if(size GREATER BOUND)
  file(REMOVE "${FILE}")
  message(FATAL_ERROR "${FILE}: ${size} bytes, more than its bound of ${BOUND}")
endif()
