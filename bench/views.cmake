# Result windows: opening the cell-grid window on a 2001 x 2001 grid and scrolling to its end.
add_executable(bench_views ${CMAKE_CURRENT_SOURCE_DIR}/views/bench_cells_window.cpp)
target_link_libraries(bench_views PRIVATE brelona_views benchmark::benchmark)
brelona_warnings(bench_views)
