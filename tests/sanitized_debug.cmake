# Configures and builds the program and the unit tests as a Debug build (no optimisation, so
# that no helper of the vector kernels is inlined) under AddressSanitizer and
# UndefinedBehaviorSanitizer in BUILD_DIR. Then runs the bundled example deck, whose result
# files and console must match those of RELEASE_BINARY to the last byte, and the fast-path
# identity tests over every matrix code and grid shape. Any sanitizer report fails the script.
#   cmake -DSOURCE_DIR=... -DBUILD_DIR=... -DRELEASE_BINARY=... [-DCXX_COMPILER=...] -P sanitized_debug.cmake
foreach(var SOURCE_DIR BUILD_DIR RELEASE_BINARY)
  if(NOT ${var})
    message(FATAL_ERROR "sanitized_debug.cmake needs -D${var}=...")
  endif()
endforeach()

include("${CMAKE_CURRENT_LIST_DIR}/sanitized_build.cmake")
sanitized_build(Debug quilmar_tests "Debug sanitizer build")

# The example, by the Debug build and by the release build, each in a folder of its own.
set(deck "${SOURCE_DIR}/examples/solvent_chain.deck")
set(result_files discharge.out Quilmar.out plume_mass.out obs_well.out console.txt)
foreach(kind debug release)
  set(dir "${BUILD_DIR}/example_${kind}")
  file(REMOVE_RECURSE "${dir}")
  file(MAKE_DIRECTORY "${dir}")
  if(kind STREQUAL "debug")
    set(binary "${BUILD_DIR}/quilmar_v3")
  else()
    set(binary "${RELEASE_BINARY}")
  endif()
  execute_process(COMMAND "${binary}" INPUT_FILE "${deck}" OUTPUT_FILE "${dir}/console.txt"
                  ERROR_VARIABLE err WORKING_DIRECTORY "${dir}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the ${kind} build stopped on the example with status ${rc}:\n${err}")
  endif()
endforeach()
foreach(name ${result_files})
  file(SHA256 "${BUILD_DIR}/example_debug/${name}" debug_sum)
  file(SHA256 "${BUILD_DIR}/example_release/${name}" release_sum)
  if(NOT debug_sum STREQUAL release_sum)
    message(FATAL_ERROR "the Debug build's ${name} of the example differs from the release build's")
  endif()
endforeach()
message(STATUS "the Debug build's example matches the release build's")

# The bundled example's own identity test is left out: the byte comparison above covers the
# example, and its checked reference run takes most of an hour without optimisation. So is
# the large thin grid's (80000 cells), whose kernels the small thin grids run as well.
execute_process(COMMAND "${BUILD_DIR}/tests/quilmar_tests"
                        --gtest_filter=FastPathIdentity.*:-FastPathIdentity.BundledExampleDeck:FastPathIdentity.LargeThinGridOnATeam
                WORKING_DIRECTORY "${BUILD_DIR}" RESULT_VARIABLE rc)
string(TIMESTAMP finished "%s")
math(EXPR run_seconds "${finished} - ${built}")
message(STATUS "Debug sanitizer runs took ${run_seconds} s")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the fast-path identity tests failed in the Debug sanitizer build (status ${rc})")
endif()
