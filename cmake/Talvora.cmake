# Helpers shared by every folder's CMakeLists.txt.

# talvora_add_test(<name> SOURCES a.cpp b.cpp LIBS lib1 lib2 [GUI])
# One GoogleTest program; its tests are discovered for ctest. Every test links
# talvora_testsupport (testsupport/README.md). GUI tests are only built when
# the Qt windows are built and bring their own main(): list
# talvora_testsupport_gui in LIBS for the offscreen one.
function(talvora_add_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
  if(T_GUI AND NOT TALVORA_GUI)
    return()
  endif()
  if(TALVORA_FUZZ)
    return()
  endif()
  # The ThreadSanitizer build can be limited to the test programs it names.
  if(TALVORA_TSAN AND TALVORA_TSAN_TESTS AND NOT name IN_LIST TALVORA_TSAN_TESTS)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} talvora_testsupport GTest::gtest GTest::gmock
                                        Threads::Threads)
  if(NOT T_GUI)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "TALVORA_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()

# talvora_add_fuzzer(<name> SOURCES f.cpp LIBS lib1)
# A libFuzzer target, built only in the clang fuzz configuration.
function(talvora_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT TALVORA_FUZZ)
    return()
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS} Threads::Threads)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY TALVORA_FUZZERS ${name})
endfunction()
