# orva_ui_view: the alarm list in the main window, its status icons and the
# alarm dialogs' header texts (AlarmTypeText.ini).
add_library(orva_ui_view STATIC
  ${CMAKE_CURRENT_LIST_DIR}/MainView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AlarmTypeTextFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StatusIcons.cpp
)
target_link_libraries(orva_ui_view PUBLIC orva_ui_common orva_station orva_messages)
