# What the Windows programs take besides their code: each is one file with
# the icon and the version record: boska.exe (the animation in its window),
# boska.scr (the screensaver) and boska-render.exe (the animation without a
# display).
#
# The resource script reads the program's file name and description from a
# header of its own.
function(boska_resources target file description)
  set(dir ${PROJECT_BINARY_DIR}/generated/${target})
  file(CONFIGURE OUTPUT ${dir}/program_file.h CONTENT
       "#define BOSKA_FILE_NAME \"${file}\"\n#define BOSKA_FILE_DESCRIPTION \"${description}\"\n")
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/resources/boska.rc)
  target_include_directories(${target} PRIVATE ${dir} ${PROJECT_BINARY_DIR}/generated
                             ${PROJECT_SOURCE_DIR}/resources)
endfunction()
boska_resources(boska boska.exe "Boska")
boska_resources(boska-scr boska.scr "Boska screensaver")
boska_resources(boska-render boska-render.exe "Boska without a display")

# What the tests under wine need besides the programs: a window for the
# screensaver's preview, and the sines and cosines to compare with Linux's.
if(BOSKA_TESTS)
  add_executable(preview-host WIN32 tests/wine/preview_host.cpp)
  add_executable(sines tests/wine/sines.cpp)
  target_link_libraries(sines PRIVATE boska_numbers)
endif()
