# Suites that mostly wait on real-time audio run as shards that ctest runs side by side. Every shard
# runs in a scratch directory of its own, which is also GoogleTest's TempDir, so files the tests name
# relative to where they run, and their SDL disk-driver files (named in ENVIRONMENT with @DIR@), are
# never shared.
function(brivane_add_test name)
  cmake_parse_arguments(ARG "" "SHARDS" "COMMAND;ENVIRONMENT;PROPERTIES" ${ARGN})
  if(NOT ARG_SHARDS)
    set(ARG_SHARDS 1)
  endif()
  math(EXPR last "${ARG_SHARDS} - 1")
  foreach(shard RANGE ${last})
    set(test ${name})
    if(ARG_SHARDS GREATER 1)
      set(test ${name}_${shard})
    endif()
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/scratch/${test})
    file(MAKE_DIRECTORY ${dir})
    set(env ${ARG_ENVIRONMENT})
    list(TRANSFORM env REPLACE "@DIR@" "${dir}")
    add_test(NAME ${test} COMMAND ${ARG_COMMAND} WORKING_DIRECTORY ${dir})
    set_tests_properties(${test} PROPERTIES ${ARG_PROPERTIES} ENVIRONMENT
      "GTEST_TOTAL_SHARDS=${ARG_SHARDS};GTEST_SHARD_INDEX=${shard};TEST_TMPDIR=${dir}/;${env}")
  endforeach()
endfunction()
