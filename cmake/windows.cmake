# What the Windows programs take besides their code: each is one file with
# the icon, the version record and the manifest: boska.exe (the animation in
# its window), boska.scr (the screensaver) and boska-render.exe (the
# animation without a display).
#
# The resource script reads the program's file name and description from a
# header of its own.
function(boska_resources target file description)
  set(dir ${PROJECT_BINARY_DIR}/generated/${target})
  file(CONFIGURE OUTPUT ${dir}/program_file.h CONTENT
       "#define BOSKA_FILE_NAME \"${file}\"\n#define BOSKA_FILE_DESCRIPTION \"${description}\"\n")
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/resources/boska.rc)
  set_source_files_properties(${PROJECT_SOURCE_DIR}/resources/boska.rc TARGET_DIRECTORY ${target}
    PROPERTIES OBJECT_DEPENDS
    "${PROJECT_SOURCE_DIR}/resources/boska.ico;${PROJECT_SOURCE_DIR}/resources/boska.manifest")
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

# The installer, boska-1.00-setup.exe beside the programs, made by makensis.
find_program(MAKENSIS makensis REQUIRED)
set(BOSKA_SETUP ${PROJECT_BINARY_DIR}/boska-${BOSKA_VERSION_TEXT}-setup.exe)
add_custom_command(OUTPUT ${BOSKA_SETUP}
  COMMAND ${MAKENSIS} -V2 -DVERSION=${BOSKA_VERSION_TEXT} -DNUMBERS=${PROJECT_VERSION}
          -DPROGRAMS=${PROJECT_BINARY_DIR} -DRESOURCES=${PROJECT_SOURCE_DIR}/resources
          -DOUTFILE=${BOSKA_SETUP} ${PROJECT_SOURCE_DIR}/resources/boska.nsi
  DEPENDS boska boska-scr boska-render resources/boska.nsi resources/boska.ico
  COMMENT "Making the installer")
add_custom_target(boska-setup ALL DEPENDS ${BOSKA_SETUP})
