orva_add_ui_test(test_ui_dialog
  SOURCES EventMsgDlgTest.cpp
  LIBS orva_ui_dialog orva_dictionary)
