# Warnings, sanitizers and fuzzing switches shared by every target.
option(TALU_WERROR "Treat compiler warnings as errors" OFF)
set(TALU_SANITIZE "" CACHE STRING "Sanitizer build: empty, 'address' (ASan+UBSan) or 'thread'")
option(TALU_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

add_compile_options(-Wall -Wextra)
if(TALU_WERROR)
  add_compile_options(-Werror)
endif()

if(TALU_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(TALU_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT TALU_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TALU_SANITIZE must be empty, 'address' or 'thread'")
endif()

# Adds a GoogleTest executable and registers its cases with CTest.
#   talu_add_test(NAME name SOURCES ... LIBS ... [LABELS ...])
function(talu_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${T_LABELS}")
endfunction()

set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)

# Adds a libFuzzer target (only with TALU_FUZZ) and a CTest test, label fuzz,
# that runs it for a bounded time from the seed corpus in CORPUS.
#   talu_add_fuzzer(NAME name SOURCES ... LIBS ... CORPUS dir [SECONDS 60])
if(TALU_FUZZ)
  # Instrument every library for coverage, so that the fuzzers see into the
  # code under test and not only into their own entry points.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  add_custom_target(fuzzers)
endif()
function(talu_add_fuzzer)
  if(NOT TALU_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "NAME;CORPUS;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT F_SECONDS)
    set(F_SECONDS 60)
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  add_dependencies(fuzzers ${F_NAME})
  # Findings go to a scratch folder; the seed corpus in the repo is only read.
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${F_NAME}-work)
  add_test(NAME ${F_NAME}
    COMMAND ${CMAKE_COMMAND} -E env sh -c
      "mkdir -p '${work}/corpus' && exec '$<TARGET_FILE:${F_NAME}>' -max_total_time=${F_SECONDS} -artifact_prefix='${work}/' '${work}/corpus' '${F_CORPUS}'")
  set_tests_properties(${F_NAME} PROPERTIES LABELS fuzz TIMEOUT 600)
endfunction()
