# flot_source_commit(SOURCE_DIR OUT): the commit SOURCE_DIR is checked out at,
# twelve hexadecimal digits, with "-dirty" when tracked files have changes;
# "unknown" outside a git checkout. Used at build time for the programs'
# --version and About window and at configure time for the package version.
function(flot_source_commit source_dir out)
  execute_process(COMMAND git -C "${source_dir}" rev-parse --short=12 HEAD
    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR commit STREQUAL "")
    set(commit "unknown")
  else()
    execute_process(COMMAND git -C "${source_dir}" status --porcelain --untracked-files=no
      OUTPUT_VARIABLE dirty OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT dirty STREQUAL "")
      string(APPEND commit "-dirty")
    endif()
  endif()
  set(${out} "${commit}" PARENT_SCOPE)
endfunction()
