# Gives the instrumented engine's count files the names the engine's own
# objects look for. A count file is named after its object's path, with every
# "/" written as "#": engine/profile/CMakeFiles/lumenfrost_engine_instrumented.dir/__/dsp/x.cpp
# for the instrumented copy, engine/CMakeFiles/lumenfrost_engine.dir/dsp/x.cpp
# for the engine.
# Finding nothing to rename means the engine is built without a profile: the
# run could not use this processor, or CMake named its objects differently.
file(GLOB counts "${PROFILE_DIR}/*.gcda")
set(renamed 0)
foreach(count ${counts})
  string(REPLACE "#profile#CMakeFiles#lumenfrost_engine_instrumented.dir#__#"
                 "#CMakeFiles#lumenfrost_engine.dir#" named "${count}")
  if(NOT named STREQUAL count)
    file(RENAME "${count}" "${named}")
    math(EXPR renamed "${renamed} + 1")
  endif()
endforeach()
if(renamed EQUAL 0)
  list(LENGTH counts found)
  message(WARNING "No profile counts to hand to the engine (${found} count files in "
                  "${PROFILE_DIR}, none named after the instrumented objects): the engine "
                  "is built without a profile.")
endif()
file(MAKE_DIRECTORY "${PROFILE_DIR}")
