# Lab tests: tests that run on the LAN host of the simulated home network
# (lab/up). They need root; without it they report "skipped".
#
#   talu_add_lab_test(NAME name COMMAND command [argument...])
#
# The command runs through lab/run, that is inside the LAN host namespace,
# where the checker's built-in host names resolve to the lab's servers. The
# test gets the label "lab", needs the fixture that builds and removes the
# lab, and holds the lab's lock: the tests switch the lab's situation, so
# they run one at a time.
include_guard(GLOBAL)

set(TALU_LAB_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "")
set(TALU_LAB_FIXTURE talu_lab CACHE INTERNAL "")
# CTest's "skipped": the lab scripts exit with it when not run as root.
set(TALU_LAB_SKIP_CODE 77 CACHE INTERNAL "")
# Each build directory's lab tests get a lab of their own, so that test runs
# of two builds at once do not tear down each other's lab. TALU_LAB_PREFIX
# in the environment of ctest still wins.
string(MD5 _talu_lab_build_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${_talu_lab_build_hash}" 0 5 _talu_lab_build_hash)
set(TALU_LAB_BUILD_PREFIX "b${_talu_lab_build_hash}-" CACHE INTERNAL "")

function(talu_lab_test_properties test)
  set_tests_properties(${test} PROPERTIES
    LABELS lab
    FIXTURES_REQUIRED ${TALU_LAB_FIXTURE}
    RESOURCE_LOCK ${TALU_LAB_FIXTURE}
    SKIP_RETURN_CODE ${TALU_LAB_SKIP_CODE}
    ENVIRONMENT_MODIFICATION "TALU_LAB_DEFAULT_PREFIX=set:${TALU_LAB_BUILD_PREFIX}"
    TIMEOUT 300)
endfunction()

function(talu_add_lab_test)
  cmake_parse_arguments(T "" "NAME" "COMMAND" ${ARGN})
  add_test(NAME lab.${T_NAME} COMMAND ${TALU_LAB_DIR}/run ${T_COMMAND})
  talu_lab_test_properties(lab.${T_NAME})
endfunction()
