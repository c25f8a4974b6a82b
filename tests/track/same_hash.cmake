# Runs two trackhash programs over the same SECONDS of the track and fails
# unless they print the same hash. -DFIRST=... -DSECOND=... [-DSECONDS=...]
# [-DEMULATOR=...] (runs FIRST under it, e.g. qemu-aarch64).
set(args)
if(DEFINED SECONDS AND NOT SECONDS STREQUAL "")
  set(args ${SECONDS})
endif()
execute_process(COMMAND ${EMULATOR} ${FIRST} ${args} OUTPUT_VARIABLE first RESULT_VARIABLE first_status)
execute_process(COMMAND ${SECOND} ${args} OUTPUT_VARIABLE second RESULT_VARIABLE second_status)
if(NOT first_status EQUAL 0 OR NOT second_status EQUAL 0)
  message(FATAL_ERROR "a render failed: ${FIRST} (${first_status}), ${SECOND} (${second_status})")
endif()
string(REGEX MATCH "^[0-9a-f]+" first_hash "${first}")
string(REGEX MATCH "^[0-9a-f]+" second_hash "${second}")
message(STATUS "${FIRST}: ${first}${SECOND}: ${second}")
if(NOT first_hash STREQUAL second_hash)
  message(FATAL_ERROR "different bits: ${first_hash} against ${second_hash}")
endif()
