# talvo_library(NAME SOURCES ... [DEPS ...]): a static library for one folder.
function(talvo_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# talvo_test(NAME SOURCES ... [DEPS ...] [XVFB] [CORE]): a GoogleTest executable registered with
# CTest. Every test runs headless on Qt's offscreen platform in a temporary TALVO_HOME (see
# tests/support/TestMain.cpp); XVFB tests run under xvfb-run with a real X display. CORE tests
# link no Qt Widgets at all: the configuration fails if one of their libraries brings it in.
function(talvo_test name)
  cmake_parse_arguments(ARG "XVFB;CORE" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_CORE)
    target_link_libraries(${name} PRIVATE talvo_testmain_core ${ARG_DEPS} GTest::gtest GTest::gmock)
    talvo_assert_no_widgets(${name} talvo_testmain_core ${ARG_DEPS})
  else()
    target_link_libraries(${name} PRIVATE talvo_testmain ${ARG_DEPS} GTest::gtest GTest::gmock)
  endif()
  if(ARG_XVFB)
    find_program(XVFB_RUN xvfb-run REQUIRED)
    add_test(NAME ${name} COMMAND ${XVFB_RUN} -a $<TARGET_FILE:${name}>)
    # The display's tests use Qt's X11 platform whatever QT_QPA_PLATFORM the suite exports. The X
    # keyboard library reads its length-bounded names with strndup, which strict string checks
    # take for an overflow.
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "TALVO_TEST_DISPLAY=1;QT_QPA_PLATFORM=xcb"
      ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_append::strict_string_checks=0"
      LABELS xvfb)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()

# talvo_assert_no_widgets(NAME TARGET ...): fails the configuration when Qt6::Widgets is among the
# targets' link libraries, however deep (the libraries are all defined before the tests).
function(talvo_assert_no_widgets name)
  set(seen "")
  set(todo ${ARGN})
  while(todo)
    list(POP_FRONT todo dep)
    # A static library's PRIVATE links are linked all the same.
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" dep "${dep}")
    if(dep IN_LIST seen OR NOT TARGET ${dep})
      continue()
    endif()
    list(APPEND seen ${dep})
    if(dep STREQUAL "Qt6::Widgets")
      message(FATAL_ERROR "${name} must not link Qt Widgets (found among: ${seen})")
    endif()
    get_target_property(deps ${dep} INTERFACE_LINK_LIBRARIES)
    if(deps)
      list(APPEND todo ${deps})
    endif()
  endwhile()
endfunction()
