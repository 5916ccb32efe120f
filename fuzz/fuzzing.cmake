#[[
Compiler flags for the libFuzzer build, included by the top-level
CMakeLists.txt before any target is made, so that tallowick_core is built
with the same coverage instrumentation and sanitizers as the fuzz targets.
Needs clang (Debian's clang and libclang-rt-14-dev), for C too (babel's
modules are C). Configure a separate tree for it:
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
        -DTALLOWICK_FUZZ=ON -DTALLOWICK_TESTS=OFF -DTALLOWICK_BENCH=OFF
  cmake --build build-fuzz --target fuzzers
]]
if(NOT TALLOWICK_FUZZ)
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "TALLOWICK_FUZZ needs clang++ (-DCMAKE_CXX_COMPILER=clang++), "
                      "not ${CMAKE_CXX_COMPILER_ID}")
endif()
if(TALLOWICK_SANITIZE)
  message(FATAL_ERROR "TALLOWICK_FUZZ brings its own sanitizers; leave TALLOWICK_SANITIZE empty")
endif()
# Everything is instrumented for coverage (fuzzer-no-link) and checked by
# ASan and UBSan; only the fuzz targets themselves link libFuzzer's main.
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                    -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g -O1)
add_link_options(-fsanitize=address,undefined)
