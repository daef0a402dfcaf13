# Each source folder contributes every *.cpp it holds (but its *_test.cpp) to
# one target, and its *_test.cpp files form one unit-test executable. Adding
# a file needs no CMake edit.

# bom_glob_sources(<target>): adds this folder's non-test sources to <target>.
function(bom_glob_sources target)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "_test\\.cpp$")
  if(sources)
    target_sources(${target} PRIVATE ${sources})
  endif()
endfunction()

# bom_glob_unit_tests(<name> [FIRMWARE] LIBS <targets...>): one unit-test
# executable from this folder's *_test.cpp files, when there are any.
function(bom_glob_unit_tests name)
  cmake_parse_arguments(T "FIRMWARE" "" "LIBS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(NOT tests)
    return()
  endif()
  if(T_FIRMWARE)
    bom_add_test(${name} LABEL unit FIRMWARE SOURCES ${tests} LIBS ${T_LIBS})
  else()
    bom_add_test(${name} LABEL unit SOURCES ${tests} LIBS ${T_LIBS})
  endif()
endfunction()

# bom_glob_test_programs(<label> LIBS <targets...>): one executable per
# *_test.cpp file of this folder, labelled <label>.
function(bom_glob_test_programs label)
  # TIMEOUTS stem=seconds: programs whose cases run long stretches of
  # virtual time get more wall time than the default on a loaded machine.
  cmake_parse_arguments(T "" "" "LIBS;TIMEOUTS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(test ${tests})
    get_filename_component(stem ${test} NAME_WE)
    set(timeout "")
    foreach(entry ${T_TIMEOUTS})
      if(entry MATCHES "^${stem}=([0-9]+)$")
        set(timeout TIMEOUT ${CMAKE_MATCH_1})
      endif()
    endforeach()
    bom_add_test(${label}_${stem} LABEL ${label} FIRMWARE SOURCES ${test} LIBS ${T_LIBS} ${timeout})
  endforeach()
endfunction()
