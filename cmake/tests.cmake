# Unit tests beside the code, one test binary; black-box tests in tests/.
if(CMAKE_CROSSCOMPILING AND EXISTS /usr/src/googletest/CMakeLists.txt)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(gtest_libs gtest gtest_main)
else()
  find_package(GTest REQUIRED)
  set(gtest_libs GTest::gtest GTest::gtest_main)
endif()

set(test_sources)
foreach(dir ${subsystems})
  file(GLOB dir_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*_test.cpp)
  foreach(src ${dir_tests})
    if(src MATCHES "_(posix|win32)_test\\.cpp$" AND NOT src MATCHES "_${platform_suffix}_test\\.cpp$")
      continue()
    endif()
    list(APPEND test_sources ${src})
  endforeach()
endforeach()
file(GLOB support_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)

add_executable(quillpack_tests ${test_sources} ${support_sources})
target_link_libraries(quillpack_tests PRIVATE quillcore ${gtest_libs})
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
