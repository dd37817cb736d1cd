# Toolchain for the x86_64 twins of every Windows program: the same sources built with Debian's
# x86_64-w64-mingw32 compilers, to run the Win32 tests under 64-bit Wine on machines that run
# no 32-bit processes. The deliverables are the i686 builds.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
