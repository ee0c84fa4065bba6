# GoogleTest: the system's on a native build, built from Debian's sources
# with the cross compiler for Windows.
if(CMAKE_CROSSCOMPILING)
  include(${CMAKE_CURRENT_LIST_DIR}/Wine.cmake)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own sources do not build warning-free with -Werror under MinGW.
  foreach(target gtest gtest_main gmock gmock_main)
    if(TARGET ${target})
      target_compile_options(${target} PRIVATE -w)
    endif()
  endforeach()
  set(QUELMAR_GTEST gtest)
  set(QUELMAR_GTEST_MAIN gtest_main)
  set(QUELMAR_GMOCK gmock)
else()
  find_package(GTest REQUIRED)
  set(QUELMAR_GTEST GTest::gtest)
  set(QUELMAR_GTEST_MAIN GTest::gtest_main)
  set(QUELMAR_GMOCK GTest::gmock)
endif()

# quelmar_add_test(<name> SOURCES ... LIBS ...)
# One test executable, registered with CTest as one test. Under a cross
# build CTest runs it through CMAKE_CROSSCOMPILING_EMULATOR (Wine), inside
# the fixture that starts and stops the Wine server.
function(quelmar_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  quelmar_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${QUELMAR_GTEST_MAIN} ${QUELMAR_GMOCK})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  if(CMAKE_CROSSCOMPILING AND COMMAND quelmar_wine_test_properties)
    quelmar_wine_test_properties(${name})
  endif()
endfunction()
