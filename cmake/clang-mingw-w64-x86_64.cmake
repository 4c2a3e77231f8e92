# Cross toolchain: Debian's clang and lld producing Windows x86-64 binaries, with the headers and
# libraries of MinGW-w64 (posix threads) and of its GCC runtime.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
set(CMAKE_SYSROOT /usr/${TOOLCHAIN_PREFIX})

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${TOOLCHAIN_PREFIX})

# clang does not take Debian's GCC folder name (12-posix) for a version, so it finds neither
# libstdc++ nor libgcc by itself: name the newest posix-threads runtime here.
file(GLOB TRV_GCC_DIRS LIST_DIRECTORIES true /usr/lib/gcc/${TOOLCHAIN_PREFIX}/*-posix)
list(SORT TRV_GCC_DIRS COMPARE NATURAL ORDER DESCENDING)
list(GET TRV_GCC_DIRS 0 TRV_GCC_DIR)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${TRV_GCC_DIR}/include/c++
    ${TRV_GCC_DIR}/include/c++/${TOOLCHAIN_PREFIX} ${TRV_GCC_DIR}/include/c++/backward)
# libstdc++ of the posix-threads runtime needs winpthreads, which GCC's driver adds by itself;
# lld resolves archives in any order, so it may come first.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${TRV_GCC_DIR} -lpthread")
endforeach()

# Resources with the windres front end of llvm-rc, beside this clang.
get_filename_component(TRV_CLANG_REAL /usr/bin/clang REALPATH)
get_filename_component(TRV_CLANG_BIN ${TRV_CLANG_REAL} DIRECTORY)
find_program(CMAKE_RC_COMPILER NAMES llvm-windres HINTS ${TRV_CLANG_BIN} REQUIRED)
