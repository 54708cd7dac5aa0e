# The main window: menu, toolbar, status bar and command routing.
add_library(orva_ui_frame STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/MainFrame.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/P100TestMsgWnd.cpp
)
target_link_libraries(orva_ui_frame PUBLIC orva_ui_common)
