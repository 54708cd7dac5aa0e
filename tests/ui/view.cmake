# The alarm list window and its header-text file.
orva_add_ui_test(test_ui_view
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainViewTest.cpp ${CMAKE_CURRENT_LIST_DIR}/AlarmTypeTextFileTest.cpp
  LIBS orva_ui_view orva_dictionary)
