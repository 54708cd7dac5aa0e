# The register: object window and open list, customer and recipient dialogs,
# the send-SMS window and the test mail address.
add_library(orva_ui_objects STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/RecipientRules.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/QueuedReply.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ObjectInfoDlg.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/OpenObjectInfoDlg.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CustomerInfoDlg.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AddEditCustomerInfoDlg.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/MailSmsNumInfoDlg.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AddEditMailSmsNumDlg.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/SendSmsDlg.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/TestMailAddrDlg.cpp
)
target_link_libraries(orva_ui_objects PUBLIC orva_ui_common)
