# orva_ui_print: the alarm list print window with its page store, the about
# box and the P100 test message generator.
find_package(Qt6 REQUIRED COMPONENTS PrintSupport)
add_library(orva_ui_print STATIC
  ${CMAKE_CURRENT_LIST_DIR}/PrintObject.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PrintDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AboutDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GenerateP100MsgDlg.cpp
)
# QueuedReply comes with the register's windows.
target_link_libraries(orva_ui_print PUBLIC orva_ui_common orva_ui_objects orva_messages Qt6::PrintSupport)
