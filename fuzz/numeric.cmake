# libFuzzer over the expression compiler and evaluator: any text compiles or fails with its
# error, evaluation never yields NaN or infinity, and for short texts the narrowed form search
# agrees with trying every operator position.
foreach(lib brelona_numeric)
  target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
endforeach()
add_executable(parser_fuzz parser_fuzz.cpp)
target_link_libraries(parser_fuzz PRIVATE brelona_numeric)
target_include_directories(parser_fuzz PRIVATE ${BRELONA_ROOT})
target_compile_options(parser_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_options(parser_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
brelona_warnings(parser_fuzz)
