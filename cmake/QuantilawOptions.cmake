# Compiler flags shared by every target and a helper to declare project targets.
add_compile_options(-Wall -Wextra)
if(QL_WERROR)
  add_compile_options(-Werror)
endif()

if(QL_SANITIZE)
  add_compile_options(-fsanitize=${QL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${QL_SANITIZE})
endif()

if(WIN32)
  set(QL_PLATFORM win32)
else()
  set(QL_PLATFORM posix)
endif()

# ql_layer(NAME SOURCES... [DEPS libs...]): a static library for one layer of the system.
function(ql_layer name)
  cmake_parse_arguments(L "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(L_DEPS)
    target_link_libraries(${name} PUBLIC ${L_DEPS})
  endif()
endfunction()

# ql_test(NAME SOURCES... DEPS libs... [LABELS labels...] [PROPERTIES ctest properties...]): one GoogleTest
# executable registered with CTest, one CTest test per test case, each with the labels. The label `tsan` marks
# concurrency tests: CI builds them with the target tsan_tests in its thread-sanitizer build and runs
# `ctest -L tsan` there.
function(ql_test name)
  cmake_parse_arguments(T "" "" "SOURCES;DEPS;LABELS;PROPERTIES" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${T_DEPS} GTest::gtest GTest::gtest_main)
  include(GoogleTest)
  # Tests that load the plug-in as a host does find the built library here.
  target_compile_definitions(${name} PRIVATE QL_PLUGIN_PATH="$<TARGET_FILE:Quantilaw>")
  add_dependencies(${name} Quantilaw)
  if(T_LABELS)
    list(APPEND T_PROPERTIES LABELS "${T_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${T_PROPERTIES})
  if("tsan" IN_LIST T_LABELS)
    if(NOT TARGET tsan_tests)
      add_custom_target(tsan_tests)
    endif()
    add_dependencies(tsan_tests ${name})
  endif()
endfunction()
