# corvane_unit_tests(NAME DIRS... LIBS ...): one test executable from every
# *_test.cpp below the given directories, each test registered with a timeout.
set(CORVANE_TESTDATA_DIR "${PROJECT_SOURCE_DIR}/testdata")
set(CORVANE_TEST_TIMEOUT 300 CACHE STRING "Seconds one test may run")

function(corvane_unit_tests name)
  cmake_parse_arguments(ARG "" "" "DIRS;LIBS" ${ARGN})
  set(sources)
  foreach(dir IN LISTS ARG_DIRS)
    file(GLOB found CONFIGURE_DEPENDS "${dir}/*_test.cpp")
    list(APPEND sources ${found})
  endforeach()
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main corvane_warnings)
  target_compile_definitions(${name} PRIVATE
    CORVANE_TESTDATA_DIR="${CORVANE_TESTDATA_DIR}"
    CORVANE_MANAGERD_BINARY="$<TARGET_FILE:corvane-managerd>")
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${CORVANE_TEST_TIMEOUT})
endfunction()

# corvane_library(NAME DIRS...): a static library of every non-test .cpp below DIRS.
function(corvane_sources out)
  set(result)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS "${dir}/*.cpp")
    list(FILTER found EXCLUDE REGEX "_test\\.cpp$")
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()
