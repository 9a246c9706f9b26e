# The whole GUI run of one problem, with the working chart and the mosaic shown, timed and with
# the repaints of the windows counted (compare with `brelona-calc run` of the same problem).
if(TARGET brelona)
  add_executable(bench_app_gui_run ${CMAKE_CURRENT_LIST_DIR}/app_gui_run.cpp)
  target_link_libraries(bench_app_gui_run PRIVATE brelona_app)
  brelona_warnings(bench_app_gui_run)
endif()
