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
list(APPEND expected
     share/brelona/data/tdb/pbsn.tdb
     share/brelona/data/tdb/README.md
     share/brelona/examples/python_example.py
     share/doc/brelona/LICENSE
     share/bash-completion/completions/brelona-calc)
if(EXISTS "${BUILD}/app/manual.html")
  list(APPEND expected share/brelona/manual.html)
endif()
if(EXISTS "${BUILD}/packaging/brelona.1")
  list(APPEND expected share/man/man1/brelona.1 share/man/man1/brelona-calc.1)
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
# The desktop program answers --help and --version without a display.
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                        --unset=QT_QPA_PLATFORM "${PREFIX}/bin/brelona" --version
                RESULT_VARIABLE code OUTPUT_VARIABLE version ERROR_VARIABLE err)
if(NOT code EQUAL 0 OR NOT version MATCHES "^brelona [0-9]")
  message(FATAL_ERROR "brelona --version without a display: ${code} ${version} ${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                        --unset=QT_QPA_PLATFORM "${PREFIX}/bin/brelona" --help
                RESULT_VARIABLE code OUTPUT_VARIABLE help ERROR_VARIABLE err)
if(NOT code EQUAL 0 OR NOT help MATCHES "^Usage: brelona")
  message(FATAL_ERROR "brelona --help without a display: ${code} ${help} ${err}")
endif()
# The installed TDB sample imports with the installed companion.
execute_process(COMMAND "${PREFIX}/bin/brelona-calc" import-tdb
                        "${PREFIX}/share/brelona/data/tdb/pbsn.tdb" --components PB SN
                RESULT_VARIABLE code OUTPUT_VARIABLE sheet ERROR_VARIABLE err)
if(NOT code EQUAL 0 OR NOT sheet MATCHES "LIQUID")
  message(FATAL_ERROR "installed brelona-calc cannot import the installed pbsn.tdb: ${code} ${err}")
endif()
# The completion offers the commands, then a command's options.
execute_process(COMMAND bash -c "PATH='${PREFIX}/bin':$PATH; source '${PREFIX}/share/bash-completion/completions/brelona-calc'
                  COMP_WORDS=(brelona-calc ru); COMP_CWORD=1; _brelona_calc; echo \"\${COMPREPLY[*]}\"
                  COMP_WORDS=(brelona-calc run --pr); COMP_CWORD=2; _brelona_calc; echo \"\${COMPREPLY[*]}\""
                RESULT_VARIABLE code OUTPUT_VARIABLE completed ERROR_VARIABLE err)
if(NOT completed STREQUAL "run\n--print --problem\n")
  message(FATAL_ERROR "bash completion: '${completed}' ${err}")
endif()
# The installed Python example runs from where it is installed, with the installed module.
file(GLOB site "${PREFIX}/lib/python3*/dist-packages")
if(site)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${site} MPLBACKEND=Agg /usr/bin/python3
                          "${PREFIX}/share/brelona/examples/python_example.py" "${PREFIX}/example.png"
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT code EQUAL 0 OR NOT EXISTS "${PREFIX}/example.png")
    message(FATAL_ERROR "the installed Python example: ${code} ${out} ${err}")
  endif()
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
