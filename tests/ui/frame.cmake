orva_add_ui_test(test_ui_frame SOURCES MainFrameTest.cpp LIBS orva_ui_frame)
