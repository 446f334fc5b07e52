# One way to declare a GoogleTest suite: every suite gets the shared test main
# (which creates the Qt application and a private HOME), runs headless, and is
# discovered test by test so CTest reports and parallelises individual cases.
#
#   vesperline_add_gtest(NAME kit_model_tests
#                        SOURCES a.cpp b.cpp
#                        LIBRARIES IdlewynKit
#                        [WIDGETS]            # the suite needs a QApplication
#                        [WRAPPER cmd...])    # run each test through a launcher (e.g. a private D-Bus)
set(VESPERLINE_TEST_SUPPORT_DIR ${CMAKE_CURRENT_LIST_DIR}/../kit/tests/support)

function(vesperline_add_gtest)
  cmake_parse_arguments(ARG "WIDGETS" "NAME;TIMEOUT" "SOURCES;LIBRARIES;WRAPPER" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES} ${VESPERLINE_TEST_SUPPORT_DIR}/test_main.cpp)
  target_include_directories(${ARG_NAME} PRIVATE ${VESPERLINE_TEST_SUPPORT_DIR}/..)
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gmock Qt6::Test Qt6::Core)
  if(ARG_WIDGETS)
    target_compile_definitions(${ARG_NAME} PRIVATE IDLEWYN_TEST_WIDGETS)
    target_link_libraries(${ARG_NAME} PRIVATE Qt6::Widgets)
  endif()
  target_compile_definitions(${ARG_NAME} PRIVATE
    VESPERLINE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VESPERLINE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  # A wrapper must be set before discovery: gtest_discover_tests runs the
  # binary through CROSSCOMPILING_EMULATOR both to list and to run tests.
  if(ARG_WRAPPER)
    set_property(TARGET ${ARG_NAME} PROPERTY CROSSCOMPILING_EMULATOR ${ARG_WRAPPER})
  endif()
  gtest_discover_tests(${ARG_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      TIMEOUT ${ARG_TIMEOUT}
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
      LABELS ${ARG_NAME})
endfunction()
