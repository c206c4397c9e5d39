# Unit tests beside the code, one test binary; black-box tests in tests/.
if(CMAKE_CROSSCOMPILING AND EXISTS /usr/src/googletest/CMakeLists.txt)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(gtest_libs gtest gtest_main)
else()
  find_package(GTest REQUIRED)
  set(gtest_libs GTest::gtest GTest::gtest_main)
endif()

# The unit tests beside the code, by folder like the program's sources.
set(test_sources
  base/arguments_test.cpp
  base/name_order_test.cpp
  base/paths_test.cpp
  base/utf8_test.cpp
  base/wildcard_test.cpp
  collect/collection_test.cpp
  collect/folder_kind_test.cpp
  collect/maildir_folder_test.cpp
  collect/system_files_test.cpp
  log/log_test.cpp
  log/outside_text_test.cpp
  config/ini_test.cpp
  config/mbox_format_test.cpp
  config/settings_test.cpp
  pack/apple_mail_test.cpp
  pack/date_order_test.cpp
  pack/line_facts_test.cpp
  pack/mail_date_test.cpp
  pack/marks_header_test.cpp
  pack/message_digest_test.cpp
  pack/mime_parts_test.cpp
  pack/separator_fields_test.cpp
  pack/separator_test.cpp
  pack/source_reader_test.cpp
  pack/target_tail_test.cpp
  pack/transfer_format_test.cpp
  pack/transfer_test.cpp
  ui/progress_test.cpp
  app/command_line_test.cpp
  tests/support/listings.cpp
  tests/support/scratch.cpp)
if(WIN32)
  list(APPEND test_sources
    base/name_text_win32_test.cpp
    base/paths_win32_test.cpp
    base/process_win32_test.cpp
    base/wide_win32_test.cpp
    config/user_dir_win32_test.cpp
    pack/locked_file_win32_test.cpp
    app/version_resource_win32_test.cpp)
else()
  list(APPEND test_sources
    base/name_text_posix_test.cpp
    base/paths_posix_test.cpp
    base/process_posix_test.cpp
    collect/collection_posix_test.cpp
    config/user_dir_posix_test.cpp
    pack/open_source_posix_test.cpp
    pack/target_posix_test.cpp
    pack/write_failure_posix_test.cpp
    window/terminal_display_posix_test.cpp)
endif()

add_executable(quillpack_tests ${test_sources})
target_link_libraries(quillpack_tests PRIVATE quillcore ${gtest_libs})
if(WIN32)
  # The version resource test reads quillpack.exe, built first.
  target_link_libraries(quillpack_tests PRIVATE version)
  add_dependencies(quillpack_tests quillpack)
endif()
target_compile_definitions(quillpack_tests PRIVATE
  QUILLPACK_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
include(GoogleTest)
gtest_discover_tests(quillpack_tests DISCOVERY_TIMEOUT 60)

# The program with the test-only crash hook, for the black-box tests.
add_executable(quillpack_hooked app/main.cpp)
target_link_libraries(quillpack_hooked PRIVATE quillcore)
target_compile_definitions(quillpack_hooked PRIVATE QUILLPACK_TEST_HOOKS=1)
if(WIN32)
  target_sources(quillpack_hooked PRIVATE ${CMAKE_SOURCE_DIR}/res/quillpack.rc)
  set_target_properties(quillpack_hooked PROPERTIES WIN32_EXECUTABLE TRUE)
  # Another process holding a source open without sharing it.
  add_executable(quillpack_hold_file tests/support/hold_file_win32.cpp)
endif()

if(NOT WIN32)
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
  file(GLOB blackbox_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/test_*.py)
  foreach(script ${blackbox_tests})
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME blackbox.${name}
      COMMAND ${Python3_EXECUTABLE} -m unittest -v ${name}
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests)
    set_tests_properties(blackbox.${name} PROPERTIES
      ENVIRONMENT "QUILLPACK_BIN=$<TARGET_FILE:quillpack>;QUILLPACK_HOOKED_BIN=$<TARGET_FILE:quillpack_hooked>"
      TIMEOUT 900)
  endforeach()
endif()
