# Initial cache for the libFuzzer build (cmake -C fuzz/ClangFuzz.cmake): clang, the Qt-free
# subsystems, AddressSanitizer + UndefinedBehaviorSanitizer everywhere and the fuzzer's coverage
# instrumentation; the fuzz programs link libFuzzer's main. Warnings stay warnings: this build
# exists to run the targets, the g++ build keeps the code clean.
set(CMAKE_CXX_COMPILER clang++-14 CACHE STRING "")
set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "")
set(CMAKE_CXX_FLAGS
    "-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS"
    CACHE STRING "")
set(CMAKE_EXE_LINKER_FLAGS "-fsanitize=address,undefined" CACHE STRING "")
set(VC_BUILD_FUZZ ON CACHE BOOL "")
set(VC_QT_FREE_ONLY ON CACHE BOOL "")
set(VC_BUILD_TESTS OFF CACHE BOOL "")
set(VC_BUILD_BENCH OFF CACHE BOOL "")
set(VC_WERROR OFF CACHE BOOL "")
