# Benchmark programs (Windows, run under Wine by scripts/bench-*; never part of the tests): linked like
# the test programs, with the program's code and resources, into ${TEST_BIN}.
add_executable(bench_pack tests/win/bench/bench_pack.cpp ${PR_RC})
target_link_libraries(bench_pack PRIVATE prapp)
target_link_options(bench_pack PRIVATE ${WIN_LINK})
set_target_properties(bench_pack PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TEST_BIN})
add_custom_command(TARGET bench_pack POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:dlgkit> ${TEST_BIN}/)
