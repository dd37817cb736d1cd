# Toolchain for the 32-bit Windows deliverables: Debian's i686-w64-mingw32 compilers
# (posix thread model, which GoogleTest needs) with the runtime linked statically.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
