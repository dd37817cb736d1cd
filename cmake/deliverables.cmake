# How the Windows deliverables (setup.exe, kompak32.dll) and the vendor tool kompak.exe are
# compiled and linked, in both Win32 configurations. The rest of the tree (GoogleTest and the
# test programs) keeps the posix thread-model compilers; the test programs link the code these
# targets are compiled from, so what is tested is what ships.
# - The win32 thread-model compilers (cmake/win32-thread-model as the launcher): the POSIX
#   threads runtime would import functions that Windows 95 and NT 3.51 lack.
# - On i686 the C runtime is CRTDLL.DLL, which Win32s, Windows 95 and NT 3.51 all carry
#   (MSVCRT.DLL came later); cmake/deliverable_compat.c fills what the runtime libraries expect
#   beyond it and beyond those systems' KERNEL32. x86_64 has no CRTDLL: the twins link
#   MSVCRT.DLL, like kompak.exe.
set(DELIVERABLE_LAUNCHER ${CMAKE_CURRENT_LIST_DIR}/win32-thread-model)

function(compile_as_deliverable target)
  set_target_properties(${target} PROPERTIES
    C_COMPILER_LAUNCHER ${DELIVERABLE_LAUNCHER} CXX_COMPILER_LAUNCHER ${DELIVERABLE_LAUNCHER})
endfunction()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_library(deliverable_compat OBJECT ${CMAKE_CURRENT_LIST_DIR}/deliverable_compat.c)
  compile_as_deliverable(deliverable_compat)
endif()

# link_as_deliverable(<target> [MSVCRT]): compiled as above and linked with the win32
# thread-model runtime and CRTDLL.DLL (cmake/crtdll.specs names it where the compiler driver
# names MSVCRT.DLL, after everything else); MSVCRT.DLL with MSVCRT, and always on x86_64.
function(link_as_deliverable target)
  cmake_parse_arguments(D "MSVCRT" "" "" ${ARGN})
  compile_as_deliverable(${target})
  set_target_properties(${target} PROPERTIES
    C_LINKER_LAUNCHER ${DELIVERABLE_LAUNCHER} CXX_LINKER_LAUNCHER ${DELIVERABLE_LAUNCHER})
  if(NOT D_MSVCRT AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(${target} PRIVATE -specs=${CMAKE_CURRENT_FUNCTION_LIST_DIR}/crtdll.specs)
    target_link_libraries(${target} PRIVATE deliverable_compat)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/crtdll.specs)
  endif()
endfunction()
