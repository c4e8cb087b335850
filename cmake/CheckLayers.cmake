# Fails, naming file and line, when a file under src/ includes against the
# layering of the source folders:
#  - a project header ("folder/File.h") from a folder that is not below its
#    own (its own folder is fine; folders on one level do not include each
#    other);
#  - a Qt GUI, Widgets or WebEngine header in a file of the core: the core
#    folders, and the files of window folders that are built into the core
#    library;
#  - app/frmMain.h anywhere outside src/app.
#
#   cmake -DSOURCE_DIR=<tree> -DGUI_HEADER_DIRS=<dir;dir...> -P CheckLayers.cmake
#
# GUI_HEADER_DIRS are the installed include folders of the Qt modules the core
# must not use (QtGui, QtWidgets, QtWebEngine...): any header found in one of
# them is a GUI header, as is any include of such a module by name.
cmake_minimum_required(VERSION 3.21)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "CheckLayers: SOURCE_DIR is not set")
endif()
if(NOT GUI_HEADER_DIRS)
  message(FATAL_ERROR "CheckLayers: GUI_HEADER_DIRS is not set")
endif()

# The layers, lowest first; the folders of one entry are on the same level.
set(layers base market history quotes,screen quoted widgets research,calc,about,chart app,symbols,historytool,help)
set(core_folders base market history quotes screen quoted)
# Files of window folders that are compiled into the core library (path
# without extension, relative to src/): they include only from the core.
set(core_files about/AboutInfo calc/CalcFigures research/LinkCatalogue chart/ChartData chart/ChartSummary)
set(core_include_folders base market history quotes screen)

set(level 0)
foreach(entry IN LISTS layers)
  string(REPLACE "," ";" folders "${entry}")
  foreach(folder IN LISTS folders)
    set(level_of_${folder} ${level})
  endforeach()
  math(EXPR level "${level} + 1")
endforeach()

# Every header of the forbidden modules, by file name, and the modules' names.
set(gui_headers "")
set(gui_modules "")
foreach(dir IN LISTS GUI_HEADER_DIRS)
  if(NOT IS_DIRECTORY "${dir}")
    message(FATAL_ERROR "CheckLayers: no Qt include folder ${dir}")
  endif()
  get_filename_component(module "${dir}" NAME)
  list(APPEND gui_modules "${module}")
  file(GLOB names RELATIVE "${dir}" "${dir}/*")
  list(APPEND gui_headers ${names})
endforeach()
list(REMOVE_DUPLICATES gui_headers)

set(faults "")
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}/src" "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp")
list(SORT sources)
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" folder "${source}")
  if(folder STREQUAL source)
    continue() # a file directly in src/ belongs to no layer
  endif()
  string(REGEX REPLACE "\\.(h|cpp)$" "" stem "${source}")
  set(core_file FALSE)
  if(stem IN_LIST core_files)
    set(core_file TRUE)
  endif()
  set(core FALSE)
  if(core_file OR folder IN_LIST core_folders)
    set(core TRUE)
  endif()

  # One list element per line; brackets, semicolons and backslashes would
  # upset the list and are never part of an include.
  file(READ "${SOURCE_DIR}/src/${source}" text)
  string(REGEX REPLACE "[][;\\\\]" " " text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")
      continue()
    endif()
    set(quote "${CMAKE_MATCH_1}")
    set(header "${CMAKE_MATCH_2}")
    set(where "src/${source}:${number}")

    if(quote STREQUAL "\"")
      if(header STREQUAL "app/frmMain.h" AND NOT folder STREQUAL "app")
        list(APPEND faults "${where}: includes app/frmMain.h, which no file outside src/app may know")
        continue()
      endif()
      string(REGEX MATCH "^[^/]+" target "${header}")
      if(target STREQUAL header OR NOT DEFINED level_of_${target})
        continue() # not a header of a source folder
      endif()
      if(core_file)
        string(REGEX REPLACE "\\.(h|cpp)$" "" target_stem "${header}")
        if(NOT target IN_LIST core_include_folders AND NOT target_stem IN_LIST core_files)
          string(REPLACE ";" ", " allowed "${core_include_folders}")
          string(CONCAT fault "${where}: includes \"${header}\", but ${stem} is built into the core library "
                              "and may include only from ${allowed}")
          list(APPEND faults "${fault}")
        endif()
      elseif(NOT target STREQUAL folder AND NOT level_of_${target} LESS level_of_${folder})
        list(APPEND faults "${where}: includes \"${header}\", but src/${target} is not below src/${folder}")
      endif()
    elseif(core)
      # <QWidget>, <qwidget.h>, <QtWidgets/QWidget>, <QtWidgets>, <QtGui/private/...>
      string(REGEX MATCH "^[^/]+" module "${header}")
      get_filename_component(name "${header}" NAME)
      if(module IN_LIST gui_modules OR name IN_LIST gui_headers)
        list(APPEND faults "${where}: includes <${header}>, a Qt GUI header in the core (QtCore and QtNetwork only)")
      endif()
    endif()
  endforeach()
endforeach()

list(LENGTH sources checked)
if(faults)
  list(LENGTH faults count)
  string(REPLACE ";" "\n  " listed "${faults}")
  message(FATAL_ERROR "${count} include(s) against the layers of src/:\n  ${listed}\n"
                      "docs/architecture.md tells which folder may include which.")
endif()
message(STATUS "Layers kept: ${checked} files under src/")
