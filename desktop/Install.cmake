# The desktop's view of the installed editor: a menu entry that opens audio files with it,
# and its icon (the window's own, from app/icons) in the hicolor theme.
if(TORVANE_GUI)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/torvane.desktop DESTINATION share/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/app/icons/app.svg
    DESTINATION share/icons/hicolor/scalable/apps RENAME torvane.svg)
endif()
