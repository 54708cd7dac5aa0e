# The user message editor, its code dialog and the file it keeps.
orva_add_ui_test(test_ui_usermsg
  SOURCES UserMsgFileTest.cpp UserMsgEditDlgTest.cpp
  LIBS orva_ui_usermsg orva_texts orva_dictionary)
