# Settings every target of the project shares.

# Strict warnings, as errors, on every compiler the project builds with.
function(veskaro_strict target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /permissive-)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  endif()
endfunction()

# Tests link statically on Windows so that Wine needs no MinGW runtime DLLs.
function(veskaro_test_executable target)
  add_executable(${target} ${ARGN})
  veskaro_strict(${target})
  target_link_libraries(${target} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
  if(WIN32)
    target_link_options(${target} PRIVATE -static)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 DISCOVERY_MODE PRE_TEST)
  else()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST)
  endif()
endfunction()
