# bom_add_test(<name> LABEL <unit|system|e2e> SOURCES <files...> [LIBS <targets...>] [FIRMWARE]
#              [TIMEOUT <s>] [PROCESSORS <n>])
#
# One GoogleTest executable; every test case becomes its own CTest test (so
# each system test runs in its own process, with its own board), labelled.
# FIRMWARE builds the test sources with the firmware flags, for tests that
# include firmware headers with the firmware's char signedness.
# PROCESSORS reserves that many of CTest's parallel slots for each case, for
# tests that run several paced processes against the wall clock.
find_package(GTest REQUIRED)
include(GoogleTest)
enable_testing()

function(bom_add_test name)
  cmake_parse_arguments(T "FIRMWARE" "LABEL;TIMEOUT;PROCESSORS" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    message(FATAL_ERROR "bom_add_test(${name}): LABEL is required")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(NOT T_PROCESSORS)
    set(T_PROCESSORS 1)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  if(T_FIRMWARE)
    target_compile_options(${name} PRIVATE -funsigned-char)
    # Firmware classes carry no RTTI: the sanitizer's check of dynamic types
    # would need their type information.
    if(BOM_SANITIZE)
      target_compile_options(${name} PRIVATE -fno-sanitize=vptr)
    endif()
  endif()
  gtest_discover_tests(${name}
    PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT} PROCESSORS ${T_PROCESSORS}
    DISCOVERY_TIMEOUT 60
    NO_PRETTY_VALUES)
endfunction()
