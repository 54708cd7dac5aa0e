# The alarm dialog with its voice-call console, the alert sound and the set of
# open alarm dialogs. The alert plays through Qt Multimedia.
find_package(Qt6 REQUIRED COMPONENTS Multimedia)
add_library(orva_ui_dialog STATIC
  ${CMAKE_CURRENT_LIST_DIR}/EventMsgDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AlertSound.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AlarmDialogSet.cpp
)
target_link_libraries(orva_ui_dialog PUBLIC orva_ui_common PRIVATE Qt6::Multimedia)
