# Helpers that register the project's tests with CTest in one consistent way.
include(GoogleTest)

set(FERROLUX_FIXTURES_DIR ${PROJECT_SOURCE_DIR}/tests/fixtures)
set(FERROLUX_TEST_ENV
  QT_QPA_PLATFORM=offscreen
  FERROLUX_FIXTURES_DIR=${FERROLUX_FIXTURES_DIR}
  FERROLUX_SOURCE_DIR=${PROJECT_SOURCE_DIR}
  FERROLUX_BUILD_DIR=${PROJECT_BINARY_DIR}
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
  LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1)

function(_ferrolux_test_common target)
  target_compile_definitions(${target} PRIVATE
    FERROLUX_FIXTURES_DIR="${FERROLUX_FIXTURES_DIR}"
    FERROLUX_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    FERROLUX_BUILD_DIR="${PROJECT_BINARY_DIR}")
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
endfunction()

# ferrolux_gtest(NAME n SOURCES ... [LIBS ...] [LABELS ...]): a GoogleTest program whose cases
# CTest discovers one by one.
function(ferrolux_gtest)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  _ferrolux_test_common(${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    TEST_LIST ${T_NAME}_CASES
    PROPERTIES TIMEOUT ${T_TIMEOUT})
  # The discovery script reads every PROPERTIES word as a name or a value, so a list there (the
  # environment, several labels) would keep only its first item. List-valued properties are set
  # on the discovered cases by a script CTest reads after the discovery's own.
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_properties.cmake)
  file(GENERATE OUTPUT ${script} CONTENT
    "set_tests_properties(\${${T_NAME}_CASES} PROPERTIES\n  ENVIRONMENT [==[${FERROLUX_TEST_ENV}]==]\n  LABELS [==[${T_LABELS}]==])\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# ferrolux_qtest(NAME n SOURCES ... [LIBS ...]): a QtTest program, one CTest entry.
function(ferrolux_qtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Qt6::Test)
  _ferrolux_test_common(${T_NAME})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${FERROLUX_TEST_ENV}" LABELS "ui;${T_LABELS}")
endfunction()

# ferrolux_benchmark(NAME n SOURCES ... [LIBS ...]): a Google Benchmark program. CTest runs it
# once, briefly, so benchmarks keep compiling and running; figures come from running it by hand.
function(ferrolux_benchmark)
  if(NOT FERROLUX_BENCHMARKS)
    return()
  endif()
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} benchmark::benchmark benchmark::benchmark_main)
  _ferrolux_test_common(${T_NAME})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --benchmark_min_time=0.001)
  # A benchmark that calls SkipWithError still exits 0; its report line fails the test instead.
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${FERROLUX_TEST_ENV}" LABELS bench
    FAIL_REGULAR_EXPRESSION "ERROR OCCURRED")
endfunction()

# ferrolux_fuzzer(NAME n SOURCES ... [LIBS ...] CORPUS dir MAX_LEN bytes): a target defining
# LLVMFuzzerTestOneInput. With clang and FERROLUX_FUZZ it is a libFuzzer program; otherwise it
# links a small driver that replays the corpus. Either way CTest replays the corpus. MAX_LEN is
# the largest input worth generating (the limit of what the code under test accepts); it and
# the corpus are written to fuzz-targets/NAME in the build folder, where scripts/fuzz finds them.
function(ferrolux_fuzzer)
  cmake_parse_arguments(T "" "NAME;CORPUS;MAX_LEN" "SOURCES;LIBS" ${ARGN})
  file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/fuzz-targets/${T_NAME}
       CONTENT "$<TARGET_FILE:${T_NAME}>\n${T_MAX_LEN}\n${T_CORPUS}\n")
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS})
  _ferrolux_test_common(${T_NAME})
  if(FERROLUX_HAVE_LIBFUZZER)
    target_compile_options(${T_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_options(${T_NAME} PRIVATE -fsanitize=fuzzer)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} -runs=0 ${T_CORPUS})
  else()
    target_sources(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/fuzz/ReplayMain.cpp)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} ${T_CORPUS})
  endif()
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${FERROLUX_TEST_ENV}" LABELS fuzz)
endfunction()
