# The station's screen with windows: builds the main window from the groups.
add_library(orva_ui_screen STATIC ${CMAKE_CURRENT_SOURCE_DIR}/WindowScreen.cpp)
target_link_libraries(orva_ui_screen PUBLIC orva_ui_frame orva_ui_view orva_ui_dialog orva_ui_panels orva_ui_objects
                      orva_ui_settings orva_ui_usermsg orva_ui_export orva_ui_print)
