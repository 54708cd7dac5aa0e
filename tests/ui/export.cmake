# The object export: its lines, the export window and the output window.
orva_add_ui_test(test_ui_export
  SOURCES ExportObjectInfoTest.cpp
  LIBS orva_ui_export orva_dictionary)
