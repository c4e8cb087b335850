# A rebuild must never replace a market file that already exists: the build
# creates one from its seed only where none exists, and cmake --install
# installs only the seeds.
#
# Runs on a private copy of the source tree with a build of its own, so the
# rebuild it provokes can never race the build tree that ctest is running in,
# nor touch the sources a developer is editing.
#
# Expects SOURCE_DIR, WORK_DIR, GENERATOR, CXX and optionally LAUNCHER.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Failed (${rc}): ${ARGN}\n${out}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

function(expect_same_file a b why)
  file(SHA256 "${a}" ha)
  file(SHA256 "${b}" hb)
  if(NOT ha STREQUAL hb)
    message(FATAL_ERROR "${why}: ${a} differs from ${b}")
  endif()
endfunction()

set(src "${WORK_DIR}/source")
set(build "${WORK_DIR}/build")
set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${src}")

# Everything but build folders and hidden entries (.git).
file(GLOB entries RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*")
foreach(entry IN LISTS entries)
  if(NOT entry MATCHES "^(build|\\.)")
    file(COPY "${SOURCE_DIR}/${entry}" DESTINATION "${src}")
  endif()
endforeach()

set(configure "${CMAKE_COMMAND}" -S "${src}" -B "${build}" -G "${GENERATOR}"
    "-DCMAKE_CXX_COMPILER=${CXX}" -DTARNVALE_BUILD_TESTS=OFF -DTARNVALE_BUILD_BENCH=OFF)
if(LAUNCHER)
  list(APPEND configure "-DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER}")
endif()
run(${configure})
set(build_data "${CMAKE_COMMAND}" --build "${build}" --target market_files -j2)
run(${build_data})

set(bin "${build}/bin")
set(seed "${build}/seed")
foreach(name nasdaq.bin nyse.bin)
  expect_same_file("${bin}/${name}" "${seed}/${name}" "A new build's market file is its seed")
endforeach()

# The user changes one market and loses the other; a core source changes, so
# the generator relinks and the seeds are written anew.
file(APPEND "${bin}/nasdaq.bin" "the user's own bytes")
file(COPY_FILE "${bin}/nasdaq.bin" "${WORK_DIR}/nasdaq.user")
file(REMOVE "${bin}/nyse.bin")
file(TOUCH "${src}/src/market/MarketDatabase.cpp")
run(${build_data})
if(NOT last_output MATCHES "Generating seed nasdaq.bin")
  message(FATAL_ERROR "Touching the core did not regenerate the seeds:\n${last_output}")
endif()
expect_same_file("${bin}/nasdaq.bin" "${WORK_DIR}/nasdaq.user" "A rebuild replaced the user's market file")
expect_same_file("${bin}/nyse.bin" "${seed}/nyse.bin" "A missing market file is created from its seed")

# cmake --install puts only the seeds into share/tarnvale/, never a market
# file where the program writes one, and leaves a portable user's file alone.
set(install_data "${CMAKE_COMMAND}" --install "${build}" --component market_data --prefix "${prefix}")
run(${install_data})
file(GLOB_RECURSE installed RELATIVE "${prefix}" "${prefix}/*.bin")
list(SORT installed)
if(NOT installed STREQUAL "share/tarnvale/nasdaq.bin;share/tarnvale/nyse.bin")
  message(FATAL_ERROR "Installed market files: ${installed}")
endif()
expect_same_file("${prefix}/share/tarnvale/nyse.bin" "${seed}/nyse.bin" "The installed seed")
file(WRITE "${prefix}/bin/nasdaq.bin" "a market the user keeps beside the program")
run(${install_data})
file(READ "${prefix}/bin/nasdaq.bin" after)
if(NOT after STREQUAL "a market the user keeps beside the program")
  message(FATAL_ERROR "cmake --install replaced ${prefix}/bin/nasdaq.bin")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "Existing market files survived the rebuild and the reinstall")
