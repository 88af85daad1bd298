# What the Debian package installs, and how CPack builds it:
#   cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release ...; cmake --build build-release
#   cd build-release && cpack -G DEB
# scripts/package does both with Debian's hardening flags and checks the result.
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/FlotCommit.cmake)

flot_source_commit("${PROJECT_SOURCE_DIR}" FLOT_COMMIT)
# A new commit, checkout or staged change configures again, so that the
# package's version stays the one the programs are built with.
execute_process(COMMAND git -C "${PROJECT_SOURCE_DIR}" symbolic-ref -q HEAD
  OUTPUT_VARIABLE flot_branch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
foreach(flot_git_file HEAD index ${flot_branch})
  execute_process(COMMAND git -C "${PROJECT_SOURCE_DIR}" rev-parse --path-format=absolute --git-path ${flot_git_file}
    OUTPUT_VARIABLE flot_git_path OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(flot_git_path AND EXISTS "${flot_git_path}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${flot_git_path}")
  endif()
endforeach()
# "0.1+git0f18dd442f01", with ".dirty" for a tree with changes: the same
# version and commit as --version and the About window show.
string(REPLACE "-" "." flot_commit_in_version "${FLOT_COMMIT}")
set(FLOT_PACKAGE_VERSION "${PROJECT_VERSION}+git${flot_commit_in_version}")
set(FLOT_MAINTAINER "Flotation console developers <flotation-console@automation.plant.example.org>")
execute_process(COMMAND git -C "${PROJECT_SOURCE_DIR}" log -1 --format=%aD
  OUTPUT_VARIABLE FLOT_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(FLOT_CHANGELOG_DATE STREQUAL "")
  string(TIMESTAMP FLOT_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
endif()

set(flot_package_dir ${PROJECT_SOURCE_DIR}/packaging)
set(flot_staged ${CMAKE_BINARY_DIR}/packaging)
set(flot_doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/flotation-console)

# Debian wants the changelog and the man pages compressed without a time stamp.
find_program(FLOT_GZIP gzip REQUIRED)
configure_file(${flot_package_dir}/debian/changelog.in ${flot_staged}/changelog @ONLY)
set(flot_compressed ${flot_staged}/changelog.gz)
add_custom_command(OUTPUT ${flot_staged}/changelog.gz
  COMMAND ${FLOT_GZIP} -9nf -k ${flot_staged}/changelog
  DEPENDS ${flot_staged}/changelog VERBATIM)
set(flot_programs flotation-console flotation-station dcon-sim)
foreach(program IN LISTS flot_programs)
  set(VERSION ${FLOT_PACKAGE_VERSION})
  configure_file(${flot_package_dir}/man/${program}.1 ${flot_staged}/${program}.1 @ONLY)
  add_custom_command(OUTPUT ${flot_staged}/${program}.1.gz
    COMMAND ${FLOT_GZIP} -9nf -k ${flot_staged}/${program}.1
    DEPENDS ${flot_staged}/${program}.1 VERBATIM)
  list(APPEND flot_compressed ${flot_staged}/${program}.1.gz)
endforeach()
add_custom_target(flotation_package_files ALL DEPENDS ${flot_compressed})

install(TARGETS ${flot_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${flot_package_dir}/flotation-console.service ${flot_package_dir}/flotation-station.service
  DESTINATION /lib/systemd/system)
# Absolute: a package's /etc is the system's, whatever the prefix.
install(FILES ${flot_package_dir}/station.conf DESTINATION /etc/flotation-console)
install(FILES ${flot_package_dir}/flotation-console.default DESTINATION /etc/default
  RENAME flotation-console)
install(FILES ${flot_package_dir}/flotation-console.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${flot_package_dir}/flotation-console.svg
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
foreach(program IN LISTS flot_programs)
  install(FILES ${flot_staged}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${flot_staged}/changelog.gz ${flot_package_dir}/debian/copyright DESTINATION ${flot_doc})
install(FILES README.md doc/files.md doc/station.md doc/fieldbus.md DESTINATION ${flot_doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME flotation-console)
set(CPACK_PACKAGE_VERSION ${FLOT_PACKAGE_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "${FLOT_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FLOT_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator console of a flotation plant")
# The synopsis is the summary above; CPack indents these lines and turns the
# empty one into the paragraph break.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Polls two analog-input modules and drives two analog-output modules over
RS-485 (DCON ASCII) once a second, computes the reagent dosing of two
flotation sections, keeps one record of the process per minute and answers
the central station over a serial line and TCP.

The package holds the console (with its operator windows, or headless as the
flotation-console service with a watchdog), the station collector that stores
the minute records in MySQL (the flotation-station service), and the module
simulator dcon-sim for commissioning without field hardware.")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries by dpkg-shlibdeps; the plug-ins Qt loads at run time by name.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, libqt6sql6-mysql, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "mariadb-server")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${flot_package_dir}/debian/postinst ${flot_package_dir}/debian/prerm ${flot_package_dir}/debian/postrm
  ${flot_package_dir}/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
