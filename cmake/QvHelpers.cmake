include(GoogleTest)

# Adds the subfolders that exist, in the given order: each issue adds its own folder and the
# parent lists need no edit.
function(qv_add_existing_subdirectories)
  foreach(dir IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# With QV_TEST_UNITY each test program compiles its sources as one translation unit (the
# headers, GoogleTest's templates and the code made of them are compiled once per program
# instead of once per file); with QV_PCH every program takes GoogleTest and the common standard
# headers from one precompiled header. Both are for the ci and tsan presets. Names in the
# anonymous namespaces of one program's files must then differ. The fuzz and release presets
# compile every file on its own, and CI checks that (scripts/check-commands), so a file that
# would miss an include without the others still fails there.
function(qv_speed_up_test_build TARGET)
  if(QV_TEST_UNITY)
    set_target_properties(${TARGET} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
    # A test file included into the unity source counts as a header to GCC, whose fixtures in
    # an anonymous namespace would then be reported as such.
    target_compile_options(${TARGET} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-subobject-linkage>)
  endif()
  if(QV_PCH)
    # The precompiled header is valid only where the same macros are defined.
    target_link_libraries(${TARGET} PRIVATE Boost::headers)
    target_precompile_headers(${TARGET} REUSE_FROM qv_test_pch)
  elseif(QV_GTEST_PCH)
    qv_precompile_gtest_where_first(${TARGET})
  endif()
endfunction()

# With QV_GTEST_PCH (the syntax check's build), a test file whose first header of its own comes
# after <gtest/gtest.h> takes GoogleTest precompiled, which changes nothing for it: only system
# headers precede GoogleTest there. Every other file is compiled as it is.
function(qv_precompile_gtest_where_first TARGET)
  if(NOT TARGET qv_gtest_pch)
    add_executable(qv_gtest_pch ${PROJECT_SOURCE_DIR}/cmake/Empty.cpp)
    target_link_libraries(qv_gtest_pch PRIVATE GTest::gtest GTest::gtest_main Threads::Threads)
    target_precompile_headers(qv_gtest_pch PRIVATE <gtest/gtest.h>)
  endif()
  target_precompile_headers(${TARGET} REUSE_FROM qv_gtest_pch)
  get_target_property(sources ${TARGET} SOURCES)
  foreach(source IN LISTS sources)
    get_filename_component(path ${source} ABSOLUTE)
    file(STRINGS ${path} directives REGEX "^[ \t]*#")
    set(gtest_first FALSE)
    foreach(directive IN LISTS directives)
      if(directive MATCHES "^#include <gtest/gtest.h>")
        set(gtest_first TRUE)
        break()
      elseif(NOT directive MATCHES "^#include <")
        break()
      endif()
    endforeach()
    if(NOT gtest_first)
      set_source_files_properties(${source} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
    endif()
  endforeach()
endfunction()

# With QV_PCH, the targets that own the precompiled headers the libraries and the test
# programs reuse (each is built with the flags of those that reuse it).
function(qv_add_pch_owners)
  qv_add_library(qv_library_pch SOURCES ${PROJECT_SOURCE_DIR}/cmake/Empty.cpp)
  target_link_libraries(qv_library_pch PRIVATE Boost::headers)
  target_precompile_headers(qv_library_pch PRIVATE ${PROJECT_SOURCE_DIR}/cmake/LibraryPch.h)
  add_executable(qv_test_pch ${PROJECT_SOURCE_DIR}/cmake/Empty.cpp)
  target_link_libraries(qv_test_pch PRIVATE GTest::gtest GTest::gtest_main Threads::Threads
    Boost::headers)
  target_precompile_headers(qv_test_pch PRIVATE ${PROJECT_SOURCE_DIR}/cmake/TestPch.h)
endfunction()

# qv_add_test(NAME <exe> LABEL <unit|e2e> [threads] SOURCES ... LIBS ...)
# One GoogleTest executable, its cases registered with CTest under the labels. `threads` marks
# a program whose code starts threads or takes locks: the tsan preset builds and runs those.
function(qv_add_test)
  cmake_parse_arguments(T "" "NAME" "LABEL;SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  qv_speed_up_test_build(${T_NAME})
  # With QV_TEST_LABEL set, tests/ is outside the default build: an unselected program is
  # still defined (its folder may add to it) but neither built nor registered.
  if(QV_TEST_LABEL)
    if(NOT QV_TEST_LABEL IN_LIST T_LABEL)
      return()
    endif()
    add_dependencies(qv_selected_tests ${T_NAME})
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    TEST_LIST ${T_NAME}_TESTS PROPERTIES TIMEOUT 300)
  # Labels are set on the discovered cases afterwards: gtest_discover_tests would split a list
  # of labels into separate properties.
  set(labels_file ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_labels.cmake)
  file(WRITE ${labels_file} "if(${T_NAME}_TESTS)\n"
    "  set_tests_properties(\${${T_NAME}_TESTS} PROPERTIES LABELS \"${T_LABEL}\")\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_file})
endfunction()

# qv_add_fuzz_target(NAME <name> SOURCES ... LIBS ... CORPUS <dir>)
# Under clang with QV_FUZZ a libFuzzer binary <name>; always an ordinary test <name>_replay
# that feeds every file of the seed corpus to the same entry point.
function(qv_add_fuzz_target)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(QV_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_executable(${F_NAME} ${F_SOURCES})
    target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  else()
    # The replay driver is compiled once for every target.
    if(NOT TARGET qv_fuzz_replay_main)
      add_library(qv_fuzz_replay_main OBJECT ${PROJECT_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
    endif()
    add_executable(${F_NAME}_replay ${F_SOURCES})
    target_link_libraries(${F_NAME}_replay PRIVATE ${F_LIBS} qv_fuzz_replay_main)
    if(QV_TEST_LABEL)
      if(NOT QV_TEST_LABEL STREQUAL "fuzz")
        return()
      endif()
      add_dependencies(qv_selected_tests ${F_NAME}_replay)
    endif()
    add_test(NAME ${F_NAME}_replay COMMAND ${F_NAME}_replay ${F_CORPUS})
    set_tests_properties(${F_NAME}_replay PROPERTIES LABELS fuzz TIMEOUT 300)
  endif()
endfunction()

# qv_add_library(<name> SOURCES ... LIBS ...): a position-independent static library of the
# product (or of sim/). Product headers are included from src/ ("foundation/errors/Status.h"),
# the host ABI from include/ ("qvkel/..."), simulation headers from the top ("sim/...").
function(qv_add_library NAME)
  cmake_parse_arguments(L "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${NAME} STATIC ${L_SOURCES})
  # Nothing of the product is visible outside the plug-in but what it exports on purpose.
  set_target_properties(${NAME} PROPERTIES
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_include_directories(${NAME} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(${NAME} PUBLIC ${L_LIBS})
  if(QV_PCH AND NOT NAME STREQUAL "qv_library_pch")
    target_link_libraries(${NAME} PRIVATE Boost::headers)
    target_precompile_headers(${NAME} REUSE_FROM qv_library_pch)
  endif()
endfunction()
