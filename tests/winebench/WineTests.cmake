# WineTests.cmake: add_wine_test(), which registers a Win32 test program to run under the
# Wine bench (winerun is the cross-compiling emulator, so ctest starts it through Wine).
#
#   add_wine_test(<name> <target> [SERIAL] [CONSOLE] [SMALL_DRIVE] [PREFIX sp4] [TIMEOUT <s>]
#                 [ARGS <arg>...])
#
#   SERIAL   the test changes system-wide state (the Windows directory's INI files,
#            c:\autoexec.bat, HKCU\Environment): never runs beside another SERIAL test
#   CONSOLE  the test shows no window; without it the test holds the desktop alone
#            (screen pixels and window positions are not disturbed by other tests)
#   PREFIX   "sp4": run in the prefix variant whose default version is NT 3.51
#            "Service Pack 4" (needed for PERSONALITY_NT351SP4)
#   SMALL_DRIVE  drive E: of the prefix is a 1 MiB tmpfs while the test runs
#            (tests/setup/with_small_drive.sh; SETUP_TEST_SMALL_DRIVE=E: tells the test)
#   TIMEOUT  seconds (default 300); winerun kills the program 20 s earlier and cleans up
#
# Every test program is a GoogleTest program. A Wine process can end abruptly with status 0
# (an X error takes the process down through Xlib's default handler), which would count as a
# pass: a run passes only when GoogleTest reached its summary without failures.
set(WINEBENCH_DIR ${CMAKE_BINARY_DIR}/winebench CACHE INTERNAL "Wine bench directory")

function(add_wine_test name target)
  cmake_parse_arguments(W "SERIAL;CONSOLE;SMALL_DRIVE" "PREFIX;TIMEOUT" "ARGS" ${ARGN})
  if(NOT W_TIMEOUT)
    set(W_TIMEOUT 300)
  endif()
  if(NOT W_PREFIX)
    set(W_PREFIX default)
  endif()
  if(NOT W_PREFIX MATCHES "^(default|sp4)$")
    message(FATAL_ERROR "add_wine_test(${name}): PREFIX must be default or sp4")
  endif()
  math(EXPR inner "${W_TIMEOUT} - 20")
  if(W_SMALL_DRIVE)
    add_test(NAME ${name} COMMAND bash ${PROJECT_SOURCE_DIR}/tests/setup/with_small_drive.sh
             ${PROJECT_SOURCE_DIR}/tests/winebench/winerun $<TARGET_FILE:probe> $<TARGET_FILE:${target}> ${W_ARGS})
  else()
    add_test(NAME ${name} COMMAND ${target} ${W_ARGS})
  endif()
  set(locks "")
  if(W_SERIAL)
    list(APPEND locks wine_system_state)
  endif()
  if(NOT W_CONSOLE)
    list(APPEND locks wine_desktop)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${W_TIMEOUT}
    ENVIRONMENT "WINEBENCH_DIR=${WINEBENCH_DIR};WINEBENCH_PREFIX=${W_PREFIX};WINERUN_TIMEOUT=${inner}"
    LABELS wine
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]"
    FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
  if(locks)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${locks}")
  endif()
endfunction()
