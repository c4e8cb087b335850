# Copies each seed market file SEED_DIR/<name> to DEST_DIR/<name> where no
# file of that name exists. An existing file is the user's market and is left
# exactly as it is. The copy is made under a temporary name and moved into
# place without replacing, so neither a concurrent copy nor an interrupted one
# can leave a half-written market file.
foreach(name IN LISTS NAMES)
  set(dest "${DEST_DIR}/${name}")
  if(EXISTS "${dest}" OR IS_SYMLINK "${dest}")
    message(STATUS "Keeping existing market file ${dest}")
    continue()
  endif()
  file(MAKE_DIRECTORY "${DEST_DIR}")
  string(RANDOM LENGTH 8 suffix)
  set(partial "${dest}.seed-${suffix}")
  file(COPY_FILE "${SEED_DIR}/${name}" "${partial}" RESULT copied)
  if(NOT copied EQUAL 0)
    file(REMOVE "${partial}")
    message(FATAL_ERROR "Cannot copy seed ${SEED_DIR}/${name}: ${copied}")
  endif()
  file(RENAME "${partial}" "${dest}" NO_REPLACE RESULT moved)
  file(REMOVE "${partial}")
  if(moved EQUAL 0)
    message(STATUS "Created market file ${dest} from its seed")
  elseif(NOT EXISTS "${dest}")
    message(FATAL_ERROR "Cannot create market file ${dest}: ${moved}")
  endif()
endforeach()
