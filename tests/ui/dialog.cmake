# The alert sound test loads the chime through Qt Multimedia.
find_package(Qt6 REQUIRED COMPONENTS Multimedia)
orva_add_ui_test(test_ui_dialog
  SOURCES EventMsgDlgTest.cpp AlertSoundTest.cpp
  LIBS orva_ui_dialog orva_dictionary Qt6::Multimedia)

# Qt's sample cache keeps its loader (a network access manager in a thread of
# its own) until the process ends: no leak checking in this one program.
add_executable(test_ui_sound_load UiTestMain.cpp AlertSoundLoadTest.cpp)
target_link_libraries(test_ui_sound_load PRIVATE orva_testsupport orva_ui_dialog orva_dictionary
                      Qt6::Multimedia Qt6::Widgets Qt6::Test GTest::gtest)
gtest_discover_tests(test_ui_sound_load
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 120
  ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:strict_string_checks=1:detect_stack_use_after_return=1")
