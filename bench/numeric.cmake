# Evaluation speed of the expression component beside the same formulas as native C++ and,
# when Debian's libmuparser-dev is installed, muparser (used by this benchmark only).
add_executable(parser_bench parser_bench.cpp)
target_link_libraries(parser_bench PRIVATE brelona_numeric benchmark::benchmark)
target_include_directories(parser_bench PRIVATE ${BRELONA_ROOT})
find_package(muparser QUIET)
if(muparser_FOUND)
  target_link_libraries(parser_bench PRIVATE muparser::muparser)
  target_compile_definitions(parser_bench PRIVATE BRELONA_HAVE_MUPARSER=1)
endif()
brelona_warnings(parser_bench)
