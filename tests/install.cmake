# Installs the build into a fresh folder and checks that every file a user needs is there and
# that the desktop entry is valid (when desktop-file-validate is installed).
# usage: cmake -DBUILD=<build dir> -DPREFIX=<empty folder to install into> -P install.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${out}")
endif()
set(expected
    bin/brelona
    bin/brelona-calc
    share/brelona/manual.md
    share/brelona/images/main.png
    share/brelona/data/Problems.d
    share/applications/brelona.desktop
    share/icons/hicolor/scalable/apps/brelona.svg)
if(EXISTS "${BUILD}/app/manual.html")
  list(APPEND expected share/brelona/manual.html)
endif()
set(missing "")
foreach(f ${expected})
  if(NOT EXISTS "${PREFIX}/${f}")
    string(APPEND missing " ${f}")
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "not installed:${missing}")
endif()
# The installed brelona-calc runs and reads the installed sample database.
execute_process(COMMAND "${PREFIX}/bin/brelona-calc" list "${PREFIX}/share/brelona/data/Problems.d"
                RESULT_VARIABLE code OUTPUT_VARIABLE names ERROR_VARIABLE err)
if(NOT code EQUAL 0 OR NOT names MATCHES "Simple eutectic")
  message(FATAL_ERROR "installed brelona-calc cannot list the sample database: ${code} ${err}")
endif()
file(READ "${PREFIX}/share/applications/brelona.desktop" desktop)
if(NOT desktop MATCHES "\nExec=brelona\n" OR NOT desktop MATCHES "\nIcon=brelona\n")
  message(FATAL_ERROR "the desktop entry does not start brelona with its icon")
endif()
find_program(validate desktop-file-validate)
if(validate)
  execute_process(COMMAND ${validate} "${PREFIX}/share/applications/brelona.desktop"
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "desktop-file-validate: ${out}")
  endif()
endif()
file(REMOVE_RECURSE "${PREFIX}")
