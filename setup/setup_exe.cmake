# setup.exe (Win32 configuration only): a 32-bit GUI program with its resources, the C and C++
# runtime linked statically. Everything but the entry function is in setup_win32, which the
# Win32 tests link as well.
set(SETUP_ICON ${CMAKE_CURRENT_BINARY_DIR}/resources/setup.ico)
add_custom_command(
  OUTPUT ${SETUP_ICON}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/resources
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/resources/make_icon.sh ${SETUP_ICON}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/resources/make_icon.sh
  COMMENT "Drawing the icon MAIN")
set_source_files_properties(resources/setup.rc PROPERTIES OBJECT_DEPENDS ${SETUP_ICON})

add_library(setup_win32 STATIC
  driver/payload.cpp
  driver/main_window.cpp
  driver/window_helpers.cpp
  driver/slidebar.cpp
  driver/platform.cpp
  driver/trace.cpp
  script/load_script.cpp
  script/paths_dialog.cpp
  script/disk_space.cpp
  install/file_helpers.cpp
  install/setup_log.cpp
  install/copy_progress.cpp
  install/disk_prompt.cpp
  install/missing_files.cpp
  install/install_file.cpp
  install/restart.cpp
  install/extensions.cpp
  driver/copy_driver.cpp
  system/program_groups.cpp
  system/associations.cpp
  system/environment.cpp
  system/ini_settings.cpp)
target_include_directories(setup_win32 PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/resources)
target_link_libraries(setup_win32 PUBLIC setup_script setup_payload)
target_include_directories(setup_win32 PUBLIC ${PROJECT_SOURCE_DIR}/kompak32)  # kompak32.h: the library's boundary
compile_as_deliverable(setup_win32)

add_executable(setup WIN32
  driver/setup_main.cpp
  resources/setup.rc)
target_include_directories(setup PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/resources)
target_link_libraries(setup PRIVATE setup_win32)
target_link_options(setup PRIVATE -s)
link_as_deliverable(setup)
