# Operators, system information, database manager dialog, port selection.
add_library(orva_ui_panels STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/SelectOperatorDlg.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/OperatorsDlg.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/SystemInformationDlg.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/DatabaseMgrDlg.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/SetComPort.cpp
)
target_link_libraries(orva_ui_panels PUBLIC orva_ui_common)
