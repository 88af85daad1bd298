# flot_add_test(NAME name SOURCES ... LIBS ... [LABELS ...] [RESOURCE_LOCK lock]
#               [FIXTURES fixture ...])
# One test executable per folder; every GoogleTest case becomes a CTest test,
# run on the offscreen platform with a time-out. Tests labelled "core" are the
# ones CI repeats under the sanitizers. FIXTURES names CTest fixtures the tests
# need, e.g. "mariadb" (a private database server, cmake/FlotMariaDB.cmake).
function(flot_add_test)
  cmake_parse_arguments(T "" "NAME;RESOURCE_LOCK" "SOURCES;LIBS;LABELS;FIXTURES" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # gtest_discover_tests flattens PROPERTIES into one list, so a property
  # whose value is itself a list (two ENVIRONMENT entries) would swallow the
  # properties after it; each variable therefore gets a property of its own.
  # An empty value would vanish in that flattening too, so LABELS only when given.
  set(props ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if("mariadb" IN_LIST T_FIXTURES)
    list(APPEND props ENVIRONMENT_MODIFICATION "FLOT_MARIADB_DIR=set:${FLOT_MARIADB_DIR}")
  endif()
  if(T_RESOURCE_LOCK)
    list(APPEND props RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
  if(T_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
