# Writes OUTPUT (buildinfo.cpp) with the project's version and the commit the
# tree was built from; run at every build, it touches the file only when its
# text changes, so an unchanged commit rebuilds nothing.
execute_process(COMMAND git -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR commit STREQUAL "")
  set(commit "unknown")
else()
  execute_process(COMMAND git -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
    OUTPUT_VARIABLE dirty OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT dirty STREQUAL "")
    string(APPEND commit "-dirty")
  endif()
endif()
set(text "// Generated at build time by cmake/FlotBuildInfo.cmake.
#include \"common/buildinfo.h\"

QString BuildVersion() { return QStringLiteral(\"${VERSION}\"); }
QString BuildCommit() { return QStringLiteral(\"${commit}\"); }
")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
