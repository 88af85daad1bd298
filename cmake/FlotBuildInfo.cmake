# Writes OUTPUT (buildtext.cpp) with the project's version and the commit the
# tree was built from; run at every build, it touches the file only when its
# text changes, so an unchanged commit rebuilds nothing.
include(${CMAKE_CURRENT_LIST_DIR}/FlotCommit.cmake)
flot_source_commit("${SOURCE_DIR}" commit)
set(text "// Generated at build time by cmake/FlotBuildInfo.cmake.
#include \"common/buildtext.h\"

const char* BuildVersionText() { return \"${VERSION}\"; }
const char* BuildCommitText() { return \"${commit}\"; }
")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
