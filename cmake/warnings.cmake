# Project code is warning-free in every tree; third-party code is built elsewhere (.deps) or
# compiled with its own flags.
function(lumacut_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(WIN32)
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                 _WIN32_WINNT=0x0601)
  endif()
endfunction()

if(NOT WIN32 AND LUMACUT_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  if(LUMACUT_FUZZ)
    # Coverage instrumentation for everything the fuzz targets link, not only their own files.
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
endif()

# The shipped build is small: unused code is dropped and symbols are stripped.
if(WIN32)
  add_compile_options($<$<CONFIG:MinSizeRel>:-ffunction-sections> $<$<CONFIG:MinSizeRel>:-fdata-sections>)
  add_link_options($<$<CONFIG:MinSizeRel>:-Wl,--gc-sections> $<$<CONFIG:MinSizeRel>:-s>)
endif()
