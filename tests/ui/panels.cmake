# Operators, system information, database manager dialog, port selection.
orva_add_ui_test(test_ui_panels
  SOURCES
    OperatorDlgTest.cpp
    SystemInformationDlgTest.cpp
    DatabaseMgrDlgTest.cpp
  LIBS orva_ui_panels orva_dictionary)

# No two controls of one window or menu share a mnemonic, in any language.
orva_add_ui_test(test_ui_mnemonics
  SOURCES MnemonicTest.cpp
  LIBS orva_ui_frame orva_ui_dialog orva_ui_panels orva_ui_objects orva_ui_settings
       orva_ui_usermsg orva_ui_export orva_ui_print orva_dictionary)
