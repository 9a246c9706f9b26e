# libFuzzer over the table image reader, with a write/read round trip of what it accepts.
# The store and numeric libraries get the coverage instrumentation too.
foreach(lib brelona_store brelona_numeric)
  target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
endforeach()
add_executable(table_image_fuzz table_image_fuzz.cpp)
target_link_libraries(table_image_fuzz PRIVATE brelona_store)
target_compile_options(table_image_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_options(table_image_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
brelona_warnings(table_image_fuzz)
