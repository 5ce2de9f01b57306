# Configures and builds the deck fuzz test with AddressSanitizer and
# UndefinedBehaviorSanitizer in BUILD_DIR, then runs it there. Any sanitizer report stops
# the test binary with a non-zero status and fails this script.
#   cmake -DSOURCE_DIR=... -DBUILD_DIR=... [-DCXX_COMPILER=...] -P sanitized_fuzz.cmake
foreach(var SOURCE_DIR BUILD_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "sanitized_fuzz.cmake needs -D${var}=...")
  endif()
endforeach()

include("${CMAKE_CURRENT_LIST_DIR}/sanitized_build.cmake")
sanitized_build(Release quilmar_fuzz_tests "sanitizer build")
execute_process(COMMAND "${BUILD_DIR}/tests/quilmar_fuzz_tests" --gtest_filter=DeckFuzz.*
                WORKING_DIRECTORY "${BUILD_DIR}"
                RESULT_VARIABLE rc)
string(TIMESTAMP finished "%s")
math(EXPR run_seconds "${finished} - ${built}")
message(STATUS "sanitized deck fuzz run took ${run_seconds} s")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the sanitized deck fuzz test failed (status ${rc})")
endif()
