# Gives the instrumented engine's count files the names the engine's own
# objects look for. A count file is named after its object's path, with every
# "/" written as "#": engine/profile/CMakeFiles/lumenfrost_engine_instrumented.dir/__/dsp/x.cpp
# for the instrumented copy, engine/CMakeFiles/lumenfrost_engine.dir/dsp/x.cpp
# for the engine.
file(GLOB counts "${PROFILE_DIR}/*.gcda")
foreach(count ${counts})
  string(REPLACE "#profile#CMakeFiles#lumenfrost_engine_instrumented.dir#__#"
                 "#CMakeFiles#lumenfrost_engine.dir#" named "${count}")
  if(NOT named STREQUAL count)
    file(RENAME "${count}" "${named}")
  endif()
endforeach()
file(MAKE_DIRECTORY "${PROFILE_DIR}")
