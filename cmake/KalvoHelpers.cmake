# Build helpers shared by every folder: warnings, sanitizers, sub-folders and tests.

# Compiler flags every target of ours takes.
add_library(kalvo_build_flags INTERFACE)
target_compile_options(kalvo_build_flags INTERFACE
  -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
# GCC 12 wrongly warns of overlapping copies inside std::string's operator+ in optimised builds
# (GCC bug 105329), which would bury real warnings of the Release build.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(kalvo_build_flags INTERFACE $<$<NOT:$<CONFIG:Debug>>:-Wno-restrict>)
endif()
if(KALVO_SANITIZE)
  target_compile_options(kalvo_build_flags INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(kalvo_build_flags INTERFACE -fsanitize=address,undefined)
endif()

# Adds every immediate sub-folder that has a CMakeLists.txt, so a new component needs no edit here.
function(kalvo_add_subdirectories)
  file(GLOB children LIST_DIRECTORIES true RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}/*")
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/${child}" AND EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt")
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# kalvo_add_test(NAME SOURCES a.cpp ... LIBS lib ... LABELS unit|integration|e2e [QT] [TIMEOUT s] [ENV K=V ...]
#                [WRAPPER script])
# One executable per class or component under test, one CTest entry each. QT marks a Qt Test
# executable; otherwise GoogleTest's main is linked. WRAPPER runs the test through a script (for
# example one that starts a private X server first).
function(kalvo_add_test name)
  cmake_parse_arguments(T "QT" "TIMEOUT;WRAPPER" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE kalvo_build_flags kalvo_test_support ${T_LIBS})
  if(T_QT)
    target_link_libraries(${name} PRIVATE Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
  add_test(NAME ${name} COMMAND ${T_WRAPPER} $<TARGET_FILE:${name}>)
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KALVO_BIN_DIR=${CMAKE_BINARY_DIR}/bin;KALVO_SOURCE_DIR=${CMAKE_SOURCE_DIR};${T_ENV}")
endfunction()
