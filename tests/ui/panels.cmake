# Operators, system information, database manager dialog, port selection.
orva_add_ui_test(test_ui_panels
  SOURCES
    OperatorDlgTest.cpp
    SystemInformationDlgTest.cpp
    DatabaseMgrDlgTest.cpp
  LIBS orva_ui_panels orva_dictionary)
