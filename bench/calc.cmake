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

# One alloy along a path: equilibrium steps and Scheil solidification of Pb-Sn.
if(EXISTS ${BRELONA_ROOT}/data/Problems.d)
  add_executable(bench_path ${CMAKE_CURRENT_LIST_DIR}/path_bench.cpp)
  target_include_directories(bench_path PRIVATE ${BRELONA_ROOT})
  target_compile_definitions(bench_path PRIVATE BRELONA_SOURCE_DIR="${BRELONA_ROOT}")
  target_link_libraries(bench_path PRIVATE brelona_problem brelona_calc benchmark::benchmark)
  brelona_warnings(bench_path)
endif()
