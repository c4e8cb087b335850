# Installs the build into a temporary prefix, makes the prefix read-only and
# drives the installed program: its market files must go to the user's data
# folder, never into the prefix, and the user's copy must win over a changed
# seed. A copy of the program beside writable market files still keeps them
# there. The user's home is a temporary folder throughout.
#
# Expects BUILD_DIR, WORK_DIR, PLUGIN_DIR (holds generic/ with the driver),
# MKMARKET (the market file generator) and VERSION.

set(prefix "${WORK_DIR}/prefix")
set(home "${WORK_DIR}/home")
set(data_home "${home}/data")

function(fail why)
  execute_process(COMMAND chmod -R u+w "${WORK_DIR}")
  message(FATAL_ERROR "${why}")
endfunction()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
  if(NOT rc EQUAL 0)
    fail("Failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

# Every path under the prefix with its content hash.
function(tree_state dir out_var)
  file(GLOB_RECURSE entries LIST_DIRECTORIES true "${dir}/*")
  list(SORT entries)
  set(state "")
  foreach(entry IN LISTS entries)
    if(IS_DIRECTORY "${entry}")
      string(APPEND state "${entry}/\n")
    else()
      file(SHA256 "${entry}" hash)
      string(APPEND state "${entry} ${hash}\n")
    endif()
  endforeach()
  set(${out_var} "${state}" PARENT_SCOPE)
endfunction()

# Runs a program with the driver, in the temporary home; sets `report`.
function(drive program steps report_name)
  set(report_file "${WORK_DIR}/${report_name}.txt")
  file(REMOVE "${report_file}")
  set(platform offscreen)
  if(DEFINED ENV{DISPLAY} AND NOT "$ENV{DISPLAY}" STREQUAL "")
    set(platform xcb) # the virtual display of the test command
  endif()
  set(sanitizer_env)
  if(DEFINED ENV{ASAN_OPTIONS})
    # System libraries without frame pointers (Mesa) need the slow unwinder
    # for their allocations to match the leak suppressions.
    set(sanitizer_env "ASAN_OPTIONS=$ENV{ASAN_OPTIONS}:fast_unwind_on_malloc=0")
  endif()
  run("${CMAKE_COMMAND}" -E env ${sanitizer_env}
      "HOME=${home}" "XDG_DATA_HOME=${data_home}" "XDG_CONFIG_HOME=${home}/config"
      "XDG_CACHE_HOME=${home}/cache" "QT_QPA_PLATFORM=${platform}"
      "QT_PLUGIN_PATH=${PLUGIN_DIR}" "QT_QPA_GENERIC_PLUGINS=tarnvaletestdriver"
      "TARNVALE_DRIVER_STEPS=${steps}" "TARNVALE_DRIVER_REPORT=${report_file}"
      "${program}")
  if(NOT EXISTS "${report_file}")
    fail("The driver wrote no report for ${program}")
  endif()
  file(READ "${report_file}" text)
  message(STATUS "${report_name} run of ${program}:\n${text}")
  if(text MATCHES "error=")
    fail("The driver failed:\n${text}")
  endif()
  set(report "${text}" PARENT_SCOPE)
endfunction()

function(expect_text text pattern why)
  if(NOT text MATCHES "${pattern}")
    fail("${why}: \"${pattern}\" not in\n${text}")
  endif()
endfunction()

function(listed_count text out_var)
  if(NOT text MATCHES "caption=Database: Nasdaq \\(([0-9]+) listed\\)")
    fail("No caption with a listed count in\n${text}")
  endif()
  set(${out_var} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND chmod -R u+w "${WORK_DIR}" ERROR_QUIET)
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${home}")
run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")

# --version from the installed tree, with no display at all.
foreach(program tarnvale tarnvale-quoted tarnvale-symbols tarnvale-history)
  run("${CMAKE_COMMAND}" -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY "${prefix}/bin/${program}" --version)
  expect_text("${last_output}" "^${program} ${VERSION}\n$" "${program} --version")
endforeach()

# Installed with everything the desktop needs.
foreach(path bin/tarnvale bin/tarnvale-quoted share/tarnvale/nasdaq.bin share/tarnvale/nyse.bin
             share/tarnvale/quotes/sample-quotes.csv share/applications/org.tarnvale.Tarnvale.desktop
             share/metainfo/org.tarnvale.Tarnvale.metainfo.xml share/icons/hicolor/scalable/apps/tarnvale.svg
             share/icons/hicolor/16x16/apps/tarnvale.png share/icons/hicolor/256x256/apps/tarnvale.png
             share/man/man1/tarnvale.1.gz share/man/man1/tarnvale-quoted.1.gz share/man/man1/tarnvale-history.1.gz
             lib/systemd/user/tarnvale-quoted.service lib/systemd/user/tarnvale-screens.timer)
  if(NOT EXISTS "${prefix}/${path}")
    fail("Not installed: ${path}")
  endif()
endforeach()
file(GLOB plugin "${prefix}/lib*/tarnvale/libtarnvale_browser.so" "${prefix}/lib/*/tarnvale/libtarnvale_browser.so")
file(GLOB help "${prefix}/lib*/tarnvale/help/tarnvalehelp" "${prefix}/lib/*/tarnvale/help/tarnvalehelp")
if(NOT plugin OR NOT help)
  fail("The browser library or the help program is not in the private folder")
endif()
file(READ "${prefix}/lib/systemd/user/tarnvale-quoted.service" unit)
expect_text("${unit}" "ExecStart=${prefix}/bin/tarnvale-quoted --program-markets" "The unit starts the installed service")
file(READ "${prefix}/lib/systemd/user/tarnvale-screens.service" unit)
expect_text("${unit}" "ExecStart=${prefix}/bin/tarnvale --trading-day" "The timer's unit runs the installed program")
file(READ "${prefix}/share/metainfo/org.tarnvale.Tarnvale.metainfo.xml" metainfo)
expect_text("${metainfo}" "<release version=\"${VERSION}\"" "The metainfo has release notes for this version")

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
find_program(APPSTREAMCLI appstreamcli)
if(DESKTOP_FILE_VALIDATE)
  run("${DESKTOP_FILE_VALIDATE}" "${prefix}/share/applications/org.tarnvale.Tarnvale.desktop")
  if(NOT last_output STREQUAL "")
    fail("desktop-file-validate: ${last_output}")
  endif()
else()
  message(STATUS "NOT VALIDATED: desktop-file-validate is not installed (package desktop-file-utils)")
endif()
if(APPSTREAMCLI)
  run("${APPSTREAMCLI}" validate --no-net "${prefix}/share/metainfo/org.tarnvale.Tarnvale.metainfo.xml")
else()
  message(STATUS "NOT VALIDATED: appstreamcli is not installed (package appstream)")
endif()

# Read-only for everyone: the owner-write marks the program heeds even as root.
execute_process(COMMAND chmod -R a-w "${prefix}")
tree_state("${prefix}" before)

# First run: NASDAQ is copied from its seed into the user's data folder.
set(user_file "${data_home}/Tarnvale/nasdaq.bin")
drive("${prefix}/bin/tarnvale" "open:NASDAQ,report,add:ZZTEST,quit" first)
listed_count("${report}" seed_count)
expect_text("${report}" "file=${user_file}\n" "The caption names the user's file")
expect_text("${report}" "message=\"ZZTEST\" has been added!" "The symbol was added")
file(STRINGS "${user_file}" symbols REGEX "ZZTEST")
if(NOT symbols)
  fail("${user_file} does not hold the added symbol")
endif()
tree_state("${prefix}" after)
if(NOT before STREQUAL after)
  fail("The program changed the installed tree")
endif()

# An upgrade brings a different seed (an empty market); the user's copy wins.
file(WRITE "${WORK_DIR}/empty.txt" "# no symbols\n")
execute_process(COMMAND chmod u+w "${prefix}/share/tarnvale" "${prefix}/share/tarnvale/nasdaq.bin")
run("${MKMARKET}" "${WORK_DIR}/empty.txt" "${prefix}/share/tarnvale/nasdaq.bin")
execute_process(COMMAND chmod -R a-w "${prefix}")
drive("${prefix}/bin/tarnvale" "open:NASDAQ,report,quit" second)
listed_count("${report}" user_count)
math(EXPR expected "${seed_count} + 1")
if(NOT user_count EQUAL expected)
  fail("Expected the user's ${expected} listed stocks after the seed changed, got ${user_count}")
endif()

# Portable: a writable folder with the program and its market files keeps
# them there and leaves the user's data folder alone.
set(portable "${WORK_DIR}/portable")
file(MAKE_DIRECTORY "${portable}")
file(COPY "${prefix}/bin/tarnvale" DESTINATION "${portable}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
file(COPY_FILE "${BUILD_DIR}/seed/nasdaq.bin" "${portable}/nasdaq.bin")
file(REMOVE_RECURSE "${data_home}")
drive("${portable}/tarnvale" "open:NASDAQ,report,add:ZZPORT,quit" portable)
expect_text("${report}" "file=${portable}/nasdaq.bin\n" "The caption names the file beside the program")
file(STRINGS "${portable}/nasdaq.bin" symbols REGEX "ZZPORT")
if(NOT symbols)
  fail("${portable}/nasdaq.bin does not hold the added symbol")
endif()
if(EXISTS "${data_home}/Tarnvale")
  fail("Portable use wrote to the user's data folder")
endif()

execute_process(COMMAND chmod -R u+w "${WORK_DIR}")
file(REMOVE_RECURSE "${WORK_DIR}")
