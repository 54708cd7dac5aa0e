# The main window: menu, toolbar, status bar and command routing.
add_library(orva_ui_frame STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/MainFrame.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/LockKeys.cpp
)
# The P100 test message generator lives with the print window's library.
target_link_libraries(orva_ui_frame PUBLIC orva_ui_common orva_ui_print)
# The lock-key panes read the keyboard's indicators on an X11 display; without
# the X11 headers they stay empty.
find_package(X11)
if(X11_FOUND AND X11_Xkb_FOUND)
  target_compile_definitions(orva_ui_frame PRIVATE ORVA_HAVE_X11)
  target_link_libraries(orva_ui_frame PRIVATE X11::X11)
endif()
