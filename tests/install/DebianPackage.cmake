# Builds the Debian package from the build tree with cpack, extracts it and
# runs the extracted program's --version; checks the package's fields, its
# dependencies worked out by dpkg-shlibdeps, and (where lintian is installed)
# that lintian finds no error.
#
# Expects BUILD_DIR, WORK_DIR, CPACK and VERSION.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 600)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

function(expect_text text pattern why)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "${why}: \"${pattern}\" not in\n${text}")
  endif()
endfunction()

find_program(DPKG_DEB dpkg-deb)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT DPKG_DEB OR NOT DPKG_SHLIBDEPS)
  message(STATUS "SKIPPED: dpkg-deb or dpkg-shlibdeps is missing (package dpkg-dev)")
  return()
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
run("${CPACK}" --config "${BUILD_DIR}/CPackConfig.cmake" -G DEB -B "${WORK_DIR}")
file(GLOB debs "${WORK_DIR}/tarnvale_${VERSION}_*.deb")
list(LENGTH debs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "Expected one tarnvale_${VERSION}_*.deb in ${WORK_DIR}, found: ${debs}")
endif()

run("${DPKG_DEB}" --field "${debs}")
set(fields "${last_output}")
expect_text("${fields}" "Package: tarnvale\n" "Package name")
expect_text("${fields}" "Version: ${VERSION}\n" "Version")
expect_text("${fields}" "Section: misc\n" "Section")
expect_text("${fields}" "Maintainer: [^\n]+ <[^\n]+@[^\n]+>\n" "Maintainer")
expect_text("${fields}" "Depends: [^\n]*libqt6core6" "Dependencies from dpkg-shlibdeps")
expect_text("${fields}" "Description: desktop stock screener" "Description")

set(root "${WORK_DIR}/root")
run("${DPKG_DEB}" -x "${debs}" "${root}")
run("${CMAKE_COMMAND}" -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY "${root}/usr/bin/tarnvale" --version)
expect_text("${last_output}" "^tarnvale ${VERSION}\n$" "The packaged program's --version")
file(READ "${root}/usr/lib/systemd/user/tarnvale-quoted.service" unit)
expect_text("${unit}" "ExecStart=/usr/bin/tarnvale-quoted --program-markets" "The packaged unit")
foreach(path usr/share/applications/org.tarnvale.Tarnvale.desktop usr/share/doc/tarnvale/copyright
             usr/share/doc/tarnvale/changelog.gz usr/share/tarnvale/nasdaq.bin usr/share/man/man1/tarnvale.1.gz)
  if(NOT EXISTS "${root}/${path}")
    message(FATAL_ERROR "Not in the package: ${path}")
  endif()
endforeach()

find_program(LINTIAN lintian)
if(LINTIAN)
  run("${LINTIAN}" --fail-on error --tag-display-limit 0 "${debs}")
  message(STATUS "lintian:\n${last_output}")
else()
  message(STATUS "NOT CHECKED: lintian is not installed")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
