# The settings sheet.
orva_add_ui_test(test_ui_settings
  SOURCES SettingsSheetTest.cpp
  LIBS orva_ui_settings orva_dictionary)
