# Settings every target of the project shares.

# Strict warnings, as errors, on every compiler the project builds with.
function(veskaro_strict target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /permissive-)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  endif()
endfunction()

# Windows binaries carry their C++ runtime, so that nothing but the engine and plug-ins has
# to sit beside them (and Wine needs no MinGW runtime DLLs).
function(veskaro_static_runtime target)
  if(MINGW)
    target_link_options(${target} PRIVATE -static)
  elseif(MSVC)
    set_target_properties(${target} PROPERTIES MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  endif()
endfunction()

# A console program entered through wmain (MSVC finds it by itself; MinGW needs telling).
function(veskaro_wide_entry target)
  if(MINGW)
    target_link_options(${target} PRIVATE -municode)
  endif()
endfunction()

# veskaro_test_executable(TARGET SOURCE... [PROPERTIES NAME VALUE...]): the properties go to
# every test discovered in it.
function(veskaro_test_executable target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "PROPERTIES")
  add_executable(${target} ${arg_UNPARSED_ARGUMENTS})
  veskaro_strict(${target})
  target_link_libraries(${target} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
  set(discovery DISCOVERY_MODE PRE_TEST)
  if(arg_PROPERTIES)
    list(APPEND discovery PROPERTIES ${arg_PROPERTIES})
  endif()
  if(WIN32)
    veskaro_static_runtime(${target})
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 ${discovery})
  else()
    gtest_discover_tests(${target} ${discovery})
  endif()
endfunction()
