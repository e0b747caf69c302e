# Shared build helpers: warnings and sanitizers per target, and the test tiers.

function(vantora_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

if(VANTORA_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VANTORA_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(VANTORA_SANITIZE STREQUAL "fuzz")
  # Libraries get coverage instrumentation; only fuzz targets link the libFuzzer main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

find_package(GTest REQUIRED)

# vantora_add_test(NAME <name> TIER unit|ui|e2e SOURCES ... LIBS ... [THREADED] [TIMEOUT s])
# Registers one test executable with ctest, labelled with its tier (and "threaded" when it
# exercises more than one thread, so the TSan build runs it).
function(vantora_add_test)
  cmake_parse_arguments(T "THREADED;QTEST" "NAME;TIER;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  vantora_target_options(${T_NAME})
  if(T_QTEST)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Qt6::Test)
  else()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_compile_definitions(${T_NAME} PRIVATE VANTORA_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
                                               VANTORA_BINARY_DIR="${PROJECT_BINARY_DIR}")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set(labels ${T_TIER})
  if(T_THREADED)
    list(APPEND labels threaded)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${labels}" TIMEOUT ${T_TIMEOUT})
  if(T_TIER STREQUAL "ui")
    set_property(TEST ${T_NAME} APPEND PROPERTY ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
  set_property(TEST ${T_NAME} APPEND PROPERTY ENVIRONMENT
               "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1"
               "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
               "ASAN_OPTIONS=detect_leaks=1")
endfunction()

# vantora_add_fuzzer(NAME <name> SOURCES ... LIBS ... CORPUS <dir>) - only in the fuzz build.
function(vantora_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;CORPUS;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT VANTORA_SANITIZE STREQUAL "fuzz")
    return()
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  if(NOT F_SECONDS)
    set(F_SECONDS 20)
  endif()
  set(corpus_run ${CMAKE_CURRENT_BINARY_DIR}/${F_NAME}-corpus)
  add_test(NAME ${F_NAME}
           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                   sh -c "mkdir -p '${corpus_run}' && exec '$<TARGET_FILE:${F_NAME}>' -max_total_time=${F_SECONDS} -rss_limit_mb=512 -timeout=10 '${corpus_run}' ${F_CORPUS}")
  set_tests_properties(${F_NAME} PROPERTIES LABELS fuzz TIMEOUT 200)
endfunction()
