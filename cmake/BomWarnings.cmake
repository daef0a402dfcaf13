# Project-wide warning and sanitizer settings, applied to every target below
# the top level. Firmware targets add their own target flags on top
# (see bom_firmware_target).
add_compile_options(-Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wno-missing-field-initializers)
if(BOM_WERROR)
  add_compile_options(-Werror)
endif()
if(BOM_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
# Fuzzing (clang): every object carries libFuzzer's coverage hooks; only the
# fuzz targets link the fuzzer's driver (tests/fuzz).
if(BOM_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "BOM_FUZZ needs clang (the fuzz preset)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Firmware code is built as it is for the ARM target: no exceptions, no RTTI,
# unsigned plain char.
set(BOM_FIRMWARE_FLAGS -fno-exceptions -fno-rtti -funsigned-char)

function(bom_firmware_target target)
  target_compile_options(${target} PRIVATE ${BOM_FIRMWARE_FLAGS})
endfunction()
