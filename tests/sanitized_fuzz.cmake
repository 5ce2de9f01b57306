# Configures and builds the deck fuzz test with AddressSanitizer and
# UndefinedBehaviorSanitizer in BUILD_DIR, then runs it there. Any sanitizer report stops
# the test binary with a non-zero status and fails this script.
#   cmake -DSOURCE_DIR=... -DBUILD_DIR=... [-DCXX_COMPILER=...] -P sanitized_fuzz.cmake
foreach(var SOURCE_DIR BUILD_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "sanitized_fuzz.cmake needs -D${var}=...")
  endif()
endforeach()

string(TIMESTAMP started "%s")
set(configure_args -S "${SOURCE_DIR}" -B "${BUILD_DIR}" -DQUILMAR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Release)
if(CXX_COMPILER)
  list(APPEND configure_args "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" ${configure_args}
                RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the sanitizer build failed:\n${log}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${BUILD_DIR}" --target quilmar_fuzz_tests -j 2
                RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the sanitizer build failed:\n${log}")
endif()
string(TIMESTAMP built "%s")
math(EXPR build_seconds "${built} - ${started}")
message(STATUS "sanitizer build ready in ${build_seconds} s")

set(ENV{ASAN_OPTIONS} "halt_on_error=1:detect_leaks=1:allocator_may_return_null=0")
set(ENV{UBSAN_OPTIONS} "halt_on_error=1:print_stacktrace=1")
execute_process(COMMAND "${BUILD_DIR}/tests/quilmar_fuzz_tests" --gtest_filter=DeckFuzz.*
                WORKING_DIRECTORY "${BUILD_DIR}"
                RESULT_VARIABLE rc)
string(TIMESTAMP finished "%s")
math(EXPR run_seconds "${finished} - ${built}")
message(STATUS "sanitized deck fuzz run took ${run_seconds} s")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the sanitized deck fuzz test failed (status ${rc})")
endif()
