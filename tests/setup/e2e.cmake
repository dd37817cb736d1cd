# End-to-end tests of setup.exe under Wine: each program builds its install sets with the kit
# writer and drives the real setup.exe through the UI-automation driver.
add_library(setup_e2e STATIC setup_e2e.cpp)
target_link_libraries(setup_e2e PUBLIC kitwriter uidriver gtest)
target_compile_definitions(setup_e2e PRIVATE SETUP_EXE_HOST_PATH="$<TARGET_FILE:setup>"
                                              KOMPAK32_DLL_HOST_PATH="$<TARGET_FILE:kompak32>")
add_dependencies(setup_e2e setup kompak32)

foreach(suite payload script_load slidebar)
  add_executable(setup_e2e_${suite}_test e2e_${suite}_test.cpp)
  target_link_libraries(setup_e2e_${suite}_test PRIVATE setup_e2e gtest_main)
  add_wine_test(setup_e2e_${suite} setup_e2e_${suite}_test TIMEOUT 900)
endforeach()
# PATHS, disk space, KITMAKER.INI and SETUP.LOG: system-wide files, and a 1 MiB drive E:.
add_executable(setup_e2e_directories_test e2e_directories_test.cpp)
target_link_libraries(setup_e2e_directories_test PRIVATE setup_e2e gtest_main)
add_wine_test(setup_e2e_directories setup_e2e_directories_test SERIAL SMALL_DRIVE TIMEOUT 300)

# A whole installation: system files, deferral with a delayed move, the restart dialog.
add_executable(setup_e2e_copy_test e2e_copy_test.cpp)
target_link_libraries(setup_e2e_copy_test PRIVATE setup_e2e kitwriter_archive gtest_main)
add_wine_test(setup_e2e_copy setup_e2e_copy_test SERIAL TIMEOUT 300)

# A system file in use under each family of Windows (NT 3.51 Service Pack 4 in its prefix).
add_executable(setup_e2e_restart_test e2e_restart_test.cpp)
target_link_libraries(setup_e2e_restart_test PRIVATE setup_e2e kitwriter_archive gtest_main)
add_wine_test(setup_e2e_restart setup_e2e_restart_test SERIAL TIMEOUT 300 ARGS --gtest_filter=-*nt351sp4*)
add_wine_test(setup_e2e_restart.sp4 setup_e2e_restart_test SERIAL PREFIX sp4 TIMEOUT 300
              ARGS --gtest_filter=Systems/*nt351sp4*)

# Setup extensions and self-registration, with DLLs of the test's own.
foreach(kind 1 2 3 4)
  add_library(e2e_dll_${kind} SHARED e2e_extension_dll.cpp)
  target_compile_definitions(e2e_dll_${kind} PRIVATE E2E_DLL_KIND=${kind})
  target_include_directories(e2e_dll_${kind} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_options(e2e_dll_${kind} PRIVATE -Wl,--kill-at)
  set_target_properties(e2e_dll_${kind} PROPERTIES PREFIX "")
endforeach()
add_executable(setup_e2e_extension_test e2e_extension_test.cpp)
target_link_libraries(setup_e2e_extension_test PRIVATE setup_e2e kitwriter_archive gtest_main)
target_compile_definitions(setup_e2e_extension_test PRIVATE
  EXTENSION_DLL="$<TARGET_FILE:e2e_dll_1>" NO_START_DLL="$<TARGET_FILE:e2e_dll_2>"
  SELFREG_DLL="$<TARGET_FILE:e2e_dll_3>" CRASHING_DLL="$<TARGET_FILE:e2e_dll_4>")
add_dependencies(setup_e2e_extension_test e2e_dll_1 e2e_dll_2 e2e_dll_3 e2e_dll_4)
add_wine_test(setup_e2e_extension setup_e2e_extension_test TIMEOUT 300)

# Two disks, Cancel in FILECOPY, a damaged member.
add_executable(setup_e2e_copy_flow_test e2e_copy_flow_test.cpp)
target_link_libraries(setup_e2e_copy_flow_test PRIVATE setup_e2e kitwriter_archive gtest_main)
add_wine_test(setup_e2e_copy_flow setup_e2e_copy_flow_test SMALL_DRIVE TIMEOUT 300 ARGS --gtest_filter=-*nt351sp4*)
add_wine_test(setup_e2e_copy_flow.sp4 setup_e2e_copy_flow_test PREFIX sp4 TIMEOUT 300
              ARGS --gtest_filter=Systems/*nt351sp4*)

add_wine_test(setup_e2e_script_load.sp4 setup_e2e_script_load_test PREFIX sp4 TIMEOUT 300
              ARGS --gtest_filter=Personalities/*nt351sp4)

# The demo's driver (demo.sh): runs the demo set, answers its dialogs, saves screenshots.
add_executable(setup_demo_driver demo_driver.cpp)
target_link_libraries(setup_demo_driver PRIVATE uidriver gtest)

# The installation benchmark's driver (bench/install_bench.sh): answers setup's dialogs at once.
add_executable(setup_bench_driver bench_driver.cpp)
target_link_libraries(setup_bench_driver PRIVATE uidriver gtest)

# Where demo.sh finds the Win32 programs of this build.
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/demo-paths.sh CONTENT
"setup_exe='$<TARGET_FILE:setup>'
demo_driver='$<TARGET_FILE:setup_demo_driver>'
bench_driver='$<TARGET_FILE:setup_bench_driver>'
kompak32_dll='$<TARGET_FILE:kompak32>'
")

# The complete sequence with every record kind: Program Manager links, HKCR, the environment,
# INI files and SYSTEM.INI, under each family of Windows.
add_executable(setup_e2e_system_test e2e_system_test.cpp)
target_link_libraries(setup_e2e_system_test PRIVATE setup_e2e kitwriter_archive gtest ole32 shell32 uuid)
add_wine_test(setup_e2e_system setup_e2e_system_test SERIAL TIMEOUT 300 ARGS --gtest_filter=-*nt351sp4*)
add_wine_test(setup_e2e_system.sp4 setup_e2e_system_test SERIAL PREFIX sp4 TIMEOUT 300
              ARGS --gtest_filter=Systems/*nt351sp4*)

# kitmaker.exe and mksample.exe build the example set and a disk set, which then install.
add_executable(setup_e2e_kitmaker_test e2e_kitmaker_test.cpp)
target_link_libraries(setup_e2e_kitmaker_test PRIVATE setup_e2e gtest_main shell32)
target_compile_definitions(setup_e2e_kitmaker_test PRIVATE
  KITMAKER_TOOLS_DIR="$<TARGET_FILE_DIR:kitmaker>" EXAMPLE_MANIFEST="${PROJECT_SOURCE_DIR}/tools/kitmaker/example/sample.toml"
  SETUP_EXE_HOST_PATH="$<TARGET_FILE:setup>" KOMPAK32_DLL_HOST_PATH="$<TARGET_FILE:kompak32>")
add_dependencies(setup_e2e_kitmaker_test kitmaker mksample setup kompak32)
add_wine_test(setup_e2e_kitmaker setup_e2e_kitmaker_test SERIAL TIMEOUT 300)

# Reliability: a full drive at every stage that writes (files of C: that setup writes at fixed
# places are linked onto the small drive), then, without those links, files that cannot be
# replaced and an installation killed at moments spread over its steps and run again (a few
# kills here; scripts/reliability.sh runs the long campaign).
add_executable(setup_e2e_reliability_test e2e_reliability_test.cpp)
target_link_libraries(setup_e2e_reliability_test PRIVATE setup_e2e kitwriter_archive gtest_main)
add_wine_test(setup_e2e_reliability setup_e2e_reliability_test SERIAL SMALL_DRIVE TIMEOUT 120
              ARGS --gtest_filter=DiskFull.*)
set_property(TEST setup_e2e_reliability APPEND PROPERTY ENVIRONMENT
  "SMALL_DRIVE_LINKS=windows/system32/RELYFULL.(N) windows/KITMAKER.new windows/RELYFULL.new windows/system.new zelauto1.new")
add_wine_test(setup_e2e_reliability.kill setup_e2e_reliability_test SERIAL TIMEOUT 120 ARGS --gtest_filter=-DiskFull.*)
