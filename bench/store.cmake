# Open and save of a large problem table.
add_executable(store_bench store_bench.cpp)
target_link_libraries(store_bench PRIVATE brelona_problem brelona_store benchmark::benchmark)
target_include_directories(store_bench PRIVATE ${BRELONA_ROOT})
brelona_warnings(store_bench)
