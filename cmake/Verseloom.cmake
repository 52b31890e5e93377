# Shared build helpers. Every layer is one static library whose sources are the
# files of its folder, so adding a file never means editing a CMakeLists.txt.

set(VL_WARNINGS -Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor)

# vl_add_library(<target> <folder under src> [LINK <targets...>])
function(vl_add_library target folder)
  cmake_parse_arguments(ARG "" "" "LINK" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/src/${folder}/*.cpp
       ${CMAKE_SOURCE_DIR}/src/${folder}/*.h)
  if(NOT sources)
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${ARG_LINK})
    return()
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(${target} PRIVATE ${VL_WARNINGS})
  target_link_libraries(${target} PUBLIC ${ARG_LINK})
endfunction()

# vl_add_test(<folder under tests> [LINK <targets...>] [ENV <VAR=value...>])
# One GoogleTest executable per test folder (only that folder's own .cpp files).
function(vl_add_test folder)
  cmake_parse_arguments(ARG "" "" "LINK;ENV" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${folder}/*.cpp)
  if(NOT sources)
    return()
  endif()
  string(REPLACE "/" "_" name "test_${folder}")
  add_executable(${name} ${sources})
  target_compile_options(${name} PRIVATE ${VL_WARNINGS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
  target_compile_definitions(${name} PRIVATE
    VL_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures"
    VL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_link_libraries(${name} PRIVATE ${ARG_LINK} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "${ARG_ENV}" TIMEOUT 600)
endfunction()
