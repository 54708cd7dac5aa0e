# The alert sound test loads the chime through Qt Multimedia.
find_package(Qt6 REQUIRED COMPONENTS Multimedia)
orva_add_ui_test(test_ui_dialog
  SOURCES EventMsgDlgTest.cpp AlertSoundTest.cpp
  LIBS orva_ui_dialog orva_dictionary Qt6::Multimedia)
