# Full sweeps of the engine beside a hand-written loop over the same model.
add_executable(bench_calc ${CMAKE_CURRENT_LIST_DIR}/calc_bench.cpp)
target_include_directories(bench_calc PRIVATE ${BRELONA_ROOT})
target_link_libraries(bench_calc PRIVATE brelona_calc benchmark::benchmark)
brelona_warnings(bench_calc)

# The refinement stage beside the sweep it follows.
add_executable(bench_refine ${CMAKE_CURRENT_LIST_DIR}/refine_bench.cpp)
target_include_directories(bench_refine PRIVATE ${BRELONA_ROOT})
target_link_libraries(bench_refine PRIVATE brelona_calc benchmark::benchmark)
brelona_warnings(bench_refine)
