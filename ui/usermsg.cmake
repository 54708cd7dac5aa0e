# The user message editor with its code dialog, and the station's own user
# message file as the editor reads and writes it.
add_library(orva_ui_usermsg STATIC
  ${CMAKE_CURRENT_LIST_DIR}/UserMsgFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AddUserMsgItemDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UserMsgEditDlg.cpp
)
target_link_libraries(orva_ui_usermsg PUBLIC orva_ui_common orva_messages)
