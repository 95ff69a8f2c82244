# End-to-end conversion: the program on a generated mbox, the library's own
# rate on the same messages, a raw write of the same bytes.
# Run: cmake --build build --target run_convert_bench (10 k and 100 k messages),
# or bench/convert_bench.sh build 10000.
add_executable(bench_convert_library convert_bench_library.cpp)
target_link_libraries(bench_convert_library PRIVATE vendrel)
add_custom_target(run_convert_bench
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/convert_bench.sh ${CMAKE_BINARY_DIR} 10000 100000
  DEPENDS vendrel_cli bench_convert_library USES_TERMINAL)
