# The register's windows and the send-SMS window.
orva_add_test(test_ui_recipient_rules
  SOURCES RecipientRulesTest.cpp
  LIBS orva_ui_objects)

# The object window and the open list.
orva_add_ui_test(test_ui_objectinfo
  SOURCES ObjectInfoDlgTest.cpp OpenObjectInfoDlgTest.cpp
  LIBS orva_ui_objects orva_dictionary)

# The customer and recipient dialogs with their entry dialogs.
orva_add_ui_test(test_ui_pickers
  SOURCES CustomerInfoDlgTest.cpp MailSmsNumInfoDlgTest.cpp
  LIBS orva_ui_objects orva_dictionary)

# The send-SMS window and the test mail address.
orva_add_ui_test(test_ui_sendsms
  SOURCES SendSmsDlgTest.cpp
  LIBS orva_ui_objects orva_dictionary)
