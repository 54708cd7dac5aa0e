# The settings sheet and its five pages.
add_library(orva_ui_settings STATIC
  ${CMAKE_CURRENT_LIST_DIR}/SettingsSheet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsPage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsPageComm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsPageEmail.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsPageAlarms.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsPageDatabase.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsPageLang.cpp
)
# The test mail address dialog lives with the register's windows.
target_link_libraries(orva_ui_settings PUBLIC orva_ui_common orva_ui_objects orva_dictionary)
