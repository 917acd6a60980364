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
