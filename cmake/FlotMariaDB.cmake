# The "mariadb" test fixture: a private MariaDB server in the build folder,
# started before the first test that needs it and stopped after the last
# (scripts/mariadb). Tests find it through FLOT_MARIADB_DIR/env.
set(FLOT_MARIADB_DIR ${CMAKE_BINARY_DIR}/mariadb)
add_test(NAME mariadb_start COMMAND ${PROJECT_SOURCE_DIR}/scripts/mariadb start ${FLOT_MARIADB_DIR})
add_test(NAME mariadb_stop COMMAND ${PROJECT_SOURCE_DIR}/scripts/mariadb stop ${FLOT_MARIADB_DIR})
set_tests_properties(mariadb_start PROPERTIES FIXTURES_SETUP mariadb TIMEOUT 120 LABELS core)
set_tests_properties(mariadb_stop PROPERTIES FIXTURES_CLEANUP mariadb TIMEOUT 60 LABELS core)
