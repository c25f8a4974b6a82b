# The score is an input of the build: a copy of the track's content is built
# by the rule the engine's build uses, then edited as a composer would.
#   cmake -DSOURCE_DIR=... -DSCORE_PACK=... -DEMBED=... -DWORK=... -P run.cmake
# 1. A touch of an included .score file re-packs score.bin (the stale bytes
#    planted in it are replaced by the packed score).
# 2. A mistake in the score fails the build with the packer's file:line, and
#    score.bin and the MIDI file stay byte-identical.
# 3. Mended, the build succeeds again.
cmake_minimum_required(VERSION 3.20)
set(content ${WORK}/content)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${content}/score)
file(COPY ${SOURCE_DIR}/content/samples DESTINATION ${content})
file(GLOB scores ${SOURCE_DIR}/content/score/*.score)
file(COPY ${scores} DESTINATION ${content}/score)

function(build expect_ok what)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/build ${ARGN}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(expect_ok AND NOT status EQUAL 0)
    message(FATAL_ERROR "${what}: the build failed:\n${out}${err}")
  elseif(NOT expect_ok AND status EQUAL 0)
    message(FATAL_ERROR "${what}: the build succeeded:\n${out}${err}")
  endif()
  set(build_log "${out}${err}" PARENT_SCOPE)
endfunction()

function(expect_same file want what)
  file(READ ${file} got HEX)
  if(NOT got STREQUAL want)
    message(FATAL_ERROR "${what}: ${file} changed")
  endif()
endfunction()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/content_build/project
                        -B ${WORK}/build -G Ninja -DLUMENFROST_SOURCE_DIR=${SOURCE_DIR}
                        -DCONTENT_DIR=${content} -DLUMENFROST_SCORE_PACK=${SCORE_PACK}
                        -DLUMENFROST_EMBED=${EMBED}
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "configure failed: ${err}")
endif()
build(TRUE "first build")
file(READ ${content}/score/score.bin packed HEX)
file(READ ${SOURCE_DIR}/content/score/score.bin checked_in HEX)
if(NOT packed STREQUAL checked_in)
  message(FATAL_ERROR "the build packed other bytes than content/score/score.bin")
endif()

# Stale bytes, newer than every source: a build leaves them ...
file(WRITE ${content}/score/score.bin "stale")
build(TRUE "nothing changed" --target packed_score)
expect_same(${content}/score/score.bin "7374616c65" "a build with no edit")
# ... until an included file is touched.
execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 1.1)
file(TOUCH ${content}/score/drums.score)
build(TRUE "after a touch of drums.score" --target packed_score)
expect_same(${content}/score/score.bin "${packed}" "the re-pack after a touch")
file(READ ${content}/score/score.mid midi HEX)

# A statement the language lacks, at the end of drums.score.
file(READ ${content}/score/drums.score good_text)
string(REGEX MATCHALL "\n" newlines "${good_text}")
list(LENGTH newlines count)
math(EXPR bad_line "${count} + 1")
file(APPEND ${content}/score/drums.score "flam 1:1 snare\n")
build(FALSE "a score with a mistake")
if(NOT build_log MATCHES "drums.score:${bad_line}:")
  message(FATAL_ERROR "the failed build does not point at drums.score:${bad_line}:\n${build_log}")
endif()
expect_same(${content}/score/score.bin "${packed}" "a failed pack")
expect_same(${content}/score/score.mid "${midi}" "a failed pack")
# Failing again, until it is mended.
build(FALSE "the same mistake, built again")
file(WRITE ${content}/score/drums.score "${good_text}")
build(TRUE "the mended score")
expect_same(${content}/score/score.bin "${packed}" "the mended score")
message(STATUS "re-packed after a touch; a failed pack kept score.bin and the MIDI file")
