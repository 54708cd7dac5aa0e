orva_add_ui_test(test_ui_frame SOURCES MainFrameTest.cpp LIBS orva_ui_frame)

# The lock keys on a real X11 display: run under Xvfb, labelled gui.
find_package(X11)
find_program(ORVA_XVFB_RUN xvfb-run)
if(X11_FOUND AND X11_Xkb_FOUND AND ORVA_XVFB_RUN)
  add_executable(test_ui_lockkeys LockKeysTest.cpp)
  target_link_libraries(test_ui_lockkeys PRIVATE orva_ui_frame X11::X11 Qt6::Widgets GTest::gtest)
  add_test(NAME test_ui_lockkeys
    COMMAND ${ORVA_XVFB_RUN} -a -s "-screen 0 640x480x24" $<TARGET_FILE:test_ui_lockkeys>)
  # On X11 the system's own libraries trip the address checker's strict
  # string checks (the keyboard library reads names with strndup past their
  # buffer) and keep memory to the end: those checks are left out here.
  set_tests_properties(test_ui_lockkeys PROPERTIES LABELS gui TIMEOUT 60
    ENVIRONMENT "QT_QPA_PLATFORM=xcb;ASAN_OPTIONS=detect_leaks=0:strict_string_checks=0")
endif()
