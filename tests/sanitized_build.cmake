# Shared by the sanitizer scripts: configures SOURCE_DIR into BUILD_DIR with
# AddressSanitizer and UndefinedBehaviorSanitizer at the given build type, builds one
# target, sets the sanitizers to stop at the first report, and sets `built` to the time the
# build was ready. CXX_COMPILER, when set, is the compiler to configure with.
function(sanitized_build build_type target what)
  string(TIMESTAMP started "%s")
  set(configure_args -S "${SOURCE_DIR}" -B "${BUILD_DIR}" -DQUILMAR_SANITIZE=ON -DCMAKE_BUILD_TYPE=${build_type})
  if(CXX_COMPILER)
    list(APPEND configure_args "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" ${configure_args}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "configuring the ${what} failed:\n${log}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" --build "${BUILD_DIR}" --target ${target} -j 2
                  RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "building the ${what} failed:\n${log}")
  endif()
  string(TIMESTAMP ready "%s")
  math(EXPR build_seconds "${ready} - ${started}")
  message(STATUS "${what} ready in ${build_seconds} s")
  set(built ${ready} PARENT_SCOPE)
  set(ENV{ASAN_OPTIONS} "halt_on_error=1:detect_leaks=1:allocator_may_return_null=0")
  set(ENV{UBSAN_OPTIONS} "halt_on_error=1:print_stacktrace=1")
endfunction()
