# The whole GUI run of one problem, with the working chart and the mosaic shown, timed and with
# the repaints of the windows counted (compare with `brelona-calc run` of the same problem).
if(TARGET brelona)
  add_executable(bench_app_gui_run ${CMAKE_CURRENT_LIST_DIR}/app_gui_run.cpp)
  target_link_libraries(bench_app_gui_run PRIVATE brelona_app)
  brelona_warnings(bench_app_gui_run)
endif()

# Live mode: from an edit of the sheet to the preview's diagram, for every bundled sample.
if(TARGET brelona AND EXISTS ${BRELONA_ROOT}/data/Problems.d)
  add_executable(bench_app_live ${CMAKE_CURRENT_LIST_DIR}/app_live.cpp)
  target_compile_definitions(bench_app_live PRIVATE BRELONA_SOURCE_DIR="${BRELONA_ROOT}")
  target_link_libraries(bench_app_live PRIVATE brelona_app benchmark::benchmark)
  brelona_warnings(bench_app_live)
endif()
