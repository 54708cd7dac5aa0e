# The register's windows and the send-SMS window.
orva_add_test(test_ui_recipient_rules
  SOURCES RecipientRulesTest.cpp
  LIBS orva_ui_objects)

orva_add_ui_test(test_ui_objects
  SOURCES
    ObjectInfoDlgTest.cpp
    OpenObjectInfoDlgTest.cpp
    CustomerInfoDlgTest.cpp
    MailSmsNumInfoDlgTest.cpp
    SendSmsDlgTest.cpp
  LIBS orva_ui_objects orva_dictionary)
