# flot_add_test(NAME name SOURCES ... LIBS ... [LABELS ...] [RESOURCE_LOCK lock])
# One test executable per folder; every GoogleTest case becomes a CTest test,
# run on the offscreen platform with a time-out. Tests labelled "core" are the
# ones CI repeats under the sanitizers.
function(flot_add_test)
  cmake_parse_arguments(T "" "NAME;RESOURCE_LOCK" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  set(props ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120 LABELS "${T_LABELS}")
  if(T_RESOURCE_LOCK)
    list(APPEND props RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
