# The whole headless run of brelona-calc, sweep and output files, each timed.
if(TARGET brelona_cli_run)
  add_executable(bench_cli_run ${CMAKE_CURRENT_LIST_DIR}/cli_run.cpp)
  target_link_libraries(bench_cli_run PRIVATE brelona_cli_run benchmark::benchmark)
  brelona_warnings(bench_cli_run)
endif()
