# The content an engine is built from: a folder holding samples/sample1..7.bin
# (the packed drum samples) and score/ (the readable score and score.bin, its
# packed form). The readable score is an input of the build: an edit of it, or
# of any file it includes, re-packs score.bin before the engine is embedded, so
# a render always plays its source.
#
# The main score of a folder is score/lumenfrost.score if there is one, else
# score/main.score. A pack that fails stops the build with the packer's
# `file:line:` messages and leaves score.bin (and the MIDI file) as they were:
# the packer writes to a temporary file and renames it only when complete.
#
#   lumenfrost_content(NAME DIR [MIDI FILE])
# defines the custom targets NAME, which packs the score and checks and embeds
# the folder, and NAME_score, which only packs the score; and sets NAME_SOURCE to the generated C++ source of the
# compiled-in arrays and NAME_INCLUDE_DIR to the folder of its shape
# (packed_shape.h), which an engine built with it includes. The packer and the embedding step are the targets
# score_pack and lumenfrost_embed, or the programs that LUMENFROST_SCORE_PACK
# and LUMENFROST_EMBED name (a test builds a content folder on its own so).
function(lumenfrost_content name dir)
  if(NOT LUMENFROST_SCORE_PACK)
    set(LUMENFROST_SCORE_PACK score_pack)
  endif()
  if(NOT LUMENFROST_EMBED)
    set(LUMENFROST_EMBED lumenfrost_embed)
  endif()
  cmake_parse_arguments(arg "" "MIDI" "" ${ARGN})
  # One name per folder, however it was spelt: two rules may not write one score.bin.
  file(REAL_PATH "${dir}" dir)
  set(score_dir ${dir}/score)
  if(EXISTS ${score_dir}/lumenfrost.score)
    set(score_source ${score_dir}/lumenfrost.score)
  elseif(EXISTS ${score_dir}/main.score)
    set(score_source ${score_dir}/main.score)
  else()
    set(score_source "")
  endif()
  set(packed_score ${score_dir}/score.bin)
  set(samples "")
  foreach(n RANGE 1 7)
    list(APPEND samples ${dir}/samples/sample${n}.bin)
  endforeach()
  foreach(input ${samples})
    if(NOT EXISTS ${input})
      message(FATAL_ERROR "The content file ${input} is missing: the engine cannot be built "
                          "without its packed samples.")
    endif()
  endforeach()
  if(NOT score_source AND NOT EXISTS ${packed_score})
    message(FATAL_ERROR "${score_dir} holds neither lumenfrost.score, main.score nor "
                        "score.bin: the engine cannot be built without a score.")
  endif()

  set(out_dir ${CMAKE_BINARY_DIR}/content/${name})
  file(MAKE_DIRECTORY ${out_dir})
  if(score_source)
    set(pack_outputs ${packed_score})
    set(midi_args "")
    if(arg_MIDI)
      list(APPEND pack_outputs ${arg_MIDI})
      set(midi_args --midi ${arg_MIDI})
    endif()
    # The packer lists every file it read in the depfile, includes too.
    add_custom_command(
      OUTPUT ${pack_outputs}
      COMMAND ${LUMENFROST_SCORE_PACK} ${score_source} -o ${packed_score} ${midi_args}
              --depfile ${out_dir}/score.d
      DEPENDS ${LUMENFROST_SCORE_PACK} ${score_source}
      DEPFILE ${out_dir}/score.d
      COMMENT "Packing ${score_source}"
      VERBATIM)
    add_custom_target(${name}_score DEPENDS ${pack_outputs})
  endif()

  # The embedding step rewrites only what changed (restat): a new note of the
  # same count recompiles the arrays alone; the engine's sources, sized from
  # the shape, recompile only when the shape changed.
  set(source ${out_dir}/packed_data.cpp)
  set(shape ${out_dir}/packed_shape.h)
  add_custom_command(
    OUTPUT ${source}
    BYPRODUCTS ${shape}
    COMMAND ${LUMENFROST_EMBED} ${dir} ${source} ${shape}
    DEPENDS ${LUMENFROST_EMBED} ${packed_score} ${samples}
    COMMENT "Checking and embedding the content of ${dir}"
    VERBATIM)
  add_custom_target(${name} DEPENDS ${source})
  set_target_properties(${name} PROPERTIES LUMENFROST_SOURCE ${source}
                                           LUMENFROST_INCLUDE_DIR ${out_dir}
                                           LUMENFROST_CONTENT_DIR ${dir})
  set(${name}_SOURCE ${source} PARENT_SCOPE)
  set(${name}_INCLUDE_DIR ${out_dir} PARENT_SCOPE)
endfunction()
