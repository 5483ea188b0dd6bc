# WebAssembly through Emscripten (Debian's emscripten 3.1.6), for
# scripts/build-web.sh. Exceptions are WebAssembly's own, so that a failed
# allocation or thread start is caught as in the native build instead of
# aborting the page. -DKELVO_WASM_SIMD=OFF builds for engines without SIMD128.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

option(KELVO_WASM_SIMD "Build with WebAssembly SIMD128" ON)
# Threads need shared memory, so every object of the module is built for it.
option(KELVO_WASM_THREADS "Build with threads (pthreads on SharedArrayBuffer)" OFF)
set(kelvo_wasm_flags "-fwasm-exceptions")
if(KELVO_WASM_SIMD)
  string(APPEND kelvo_wasm_flags " -msimd128")
endif()
if(KELVO_WASM_THREADS)
  string(APPEND kelvo_wasm_flags " -pthread")
endif()
set(CMAKE_C_FLAGS_INIT "${kelvo_wasm_flags}")
set(CMAKE_CXX_FLAGS_INIT "${kelvo_wasm_flags}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${kelvo_wasm_flags} -sALLOW_MEMORY_GROWTH=1")
# Node 20's global fetch does not take the file path that this Emscripten's
# loader hands it for the .wasm; without it the loader reads the file.
set(CMAKE_CROSSCOMPILING_EMULATOR "node;--no-experimental-fetch" CACHE STRING "")
