# The object export: the export window with its output window, and the lines
# they write.
add_library(orva_ui_export STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ExportObjectInfoLine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ExportObjectInfoOutputDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ExportObjectInfoDlg.cpp
)
# QueuedReply comes with the register's windows.
target_link_libraries(orva_ui_export PUBLIC orva_ui_common orva_ui_objects orva_db)
