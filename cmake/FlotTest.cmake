# flot_add_test(NAME name SOURCES ... LIBS ... [GUI] [LABELS ...] [RESOURCE_LOCK lock]
#               [FIXTURES fixture ...])
# One test executable per folder; every GoogleTest case becomes a CTest test,
# run on the offscreen platform with a time-out, linked with the shared
# helpers of tests/support. Labels: "core" for the window-less tests that CI
# repeats under the sanitizers, "gui" for widget tests. GUI tests get a main()
# that creates a QApplication and Qt Test, and the label "gui". FIXTURES names
# CTest fixtures the tests need, e.g. "mariadb" (a private database server,
# cmake/FlotMariaDB.cmake).
function(flot_add_test)
  cmake_parse_arguments(T "GUI" "NAME;RESOURCE_LOCK" "SOURCES;LIBS;LABELS;FIXTURES" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} flotation_test_support GTest::gtest GTest::gmock)
  if(T_GUI)
    target_link_libraries(${T_NAME} PRIVATE flotation_gui_test_main)
    set(T_LABELS gui)  # one label only: gtest_discover_tests flattens lists
  else()
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
  endif()
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
