# libFuzzer over the TDB reader and importer: any bytes are read or refused with a tdb::Error,
# and what is imported compiles in the phase sheet with the importer's own energies.
foreach(lib brelona_tdb brelona_calc brelona_numeric)
  target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
endforeach()
add_executable(tdb_fuzz tdb_fuzz.cpp)
target_link_libraries(tdb_fuzz PRIVATE brelona_tdb brelona_calc)
target_include_directories(tdb_fuzz PRIVATE ${BRELONA_ROOT})
target_compile_options(tdb_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_options(tdb_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
brelona_warnings(tdb_fuzz)
