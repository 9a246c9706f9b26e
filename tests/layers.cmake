# Fails when a plain C++ layer includes Qt or a layer it must not know. Dependencies point
# down only:  numeric/ <- calc/,  numeric/ <- store/;  calc/ and store/ do not know each other;
# none of them knows views/, app/ or cli/ or includes Qt. In views/, the diagram's renderer (what
# the command line draws its pictures with) includes no widget and no window.
# usage: cmake -DROOT=<source root> -P layers.cmake
cmake_minimum_required(VERSION 3.25)
set(allowed_numeric numeric)
set(allowed_calc calc numeric)
set(allowed_store store numeric)
set(project_dirs numeric store calc views app cli)

set(faults "")
foreach(layer numeric calc store)
  file(GLOB_RECURSE files LIST_DIRECTORIES false "${ROOT}/${layer}/*.h" "${ROOT}/${layer}/*.cpp")
  foreach(file ${files})
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*$" "\\1" target "${line}")
      string(REGEX MATCH "^[^/]*" first "${target}")
      file(RELATIVE_PATH rel "${ROOT}" "${file}")
      if(first MATCHES "^Q[A-Za-z]" OR first MATCHES "^qt")
        string(APPEND faults "${rel}: includes Qt (${target})\n")
      elseif(first IN_LIST project_dirs AND NOT first IN_LIST allowed_${layer})
        string(APPEND faults "${rel}: ${layer}/ includes ${first}/ (${target})\n")
      endif()
    endforeach()
  endforeach()
endforeach()
set(widgets "^(QWidget|QApplication|QChartView|QGraphicsView|QDialog|QLabel|QPushButton|QMenu|\
Q[HV]BoxLayout|views/chart_view\\.h|views/diagram_window\\.h|views/diagram_export\\.h)$")
foreach(rel views/chart_canvas.h views/chart_canvas.cpp views/diagram_renderer.h
        views/diagram_renderer.cpp views/diagram_overlay.h views/diagram_overlay.cpp)
  file(STRINGS "${ROOT}/${rel}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*$" "\\1" target "${line}")
    if(target MATCHES "${widgets}")
      string(APPEND faults "${rel}: the diagram's renderer includes a widget (${target})\n")
    endif()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "layer rules broken:\n${faults}")
endif()
