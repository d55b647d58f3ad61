# Engine folders hold code that links without Widgets: a file there that includes window code
# (app/, a generated ui_*.h, or a QtWidgets header) fails the configure step, and the same check
# runs as a test so that an edit between two configures is caught too.
#
# As a script: cmake -DSRC=<src folder> -DPARTS=<a;b;c> -P CheckEngineIncludes.cmake

set(NOCTURO_WINDOW_INCLUDE_REGEX
    "^[ \t]*#[ \t]*include[ \t]*[<\"](app/|ui_|QtWidgets|QWidget|QMainWindow|QDialog|QAbstractButton|QPushButton|QLabel|QComboBox|QApplication|QMessageBox|QFileDialog|QColorDialog)")

function(nocturo_find_window_includes src parts out)
  set(found "")
  foreach(part ${parts})
    file(GLOB_RECURSE files ${src}/${part}/*.h ${src}/${part}/*.cpp)
    foreach(f ${files})
      file(STRINGS ${f} lines REGEX "${NOCTURO_WINDOW_INCLUDE_REGEX}")
      foreach(line ${lines})
        file(RELATIVE_PATH rel ${src} ${f})
        string(STRIP "${line}" line)
        list(APPEND found "src/${rel}: ${line}")
      endforeach()
    endforeach()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

function(nocturo_report_window_includes found)
  if(found)
    string(REPLACE ";" "\n  " text "${found}")
    message(FATAL_ERROR "Engine files include window code (it belongs in src/app):\n  ${text}")
  endif()
endfunction()

macro(nocturo_check_engine_includes src parts)
  nocturo_find_window_includes(${src} "${parts}" _nocturo_found)
  nocturo_report_window_includes("${_nocturo_found}")
endmacro()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED SRC)
  nocturo_find_window_includes(${SRC} "${PARTS}" _found)
  nocturo_report_window_includes("${_found}")
  message(STATUS "No engine file includes window code.")
endif()
