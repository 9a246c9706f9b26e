# A sweep of an imported assessed system beside the regular eutectic.
add_executable(bench_tdb ${CMAKE_CURRENT_LIST_DIR}/tdb_bench.cpp)
target_include_directories(bench_tdb PRIVATE ${BRELONA_ROOT})
target_compile_definitions(bench_tdb PRIVATE BRELONA_SOURCE_DIR="${BRELONA_ROOT}")
target_link_libraries(bench_tdb PRIVATE brelona_calc brelona_tdb benchmark::benchmark)
brelona_warnings(bench_tdb)
