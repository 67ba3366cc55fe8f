# The desktop's view of the installed programs: the menu entry, the software centre's record
# (AppStream), the icon in the hicolor theme at the usual sizes, and the manual pages. One id,
# org.torvane.Editor, names the entry, the record and the icon, and the window sets it too.
set(TORVANE_APP_ID org.torvane.Editor)
configure_file(${CMAKE_CURRENT_LIST_DIR}/../docs/man/torvane-cli.1 ${CMAKE_BINARY_DIR}/man/torvane-cli.1 @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/man/torvane-cli.1 DESTINATION share/man/man1)
if(NOT TORVANE_GUI)
  return()
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/../docs/man/torvane.1 ${CMAKE_BINARY_DIR}/man/torvane.1 @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/man/torvane.1 DESTINATION share/man/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${TORVANE_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${TORVANE_APP_ID}.metainfo.xml DESTINATION share/metainfo)

# The window's own icon, drawn at each size from its SVG at build time (rsvg-convert, from
# Debian's librsvg2-bin), so that menus that do not scale SVG icons still get a sharp one.
set(TORVANE_ICON_SVG ${CMAKE_SOURCE_DIR}/app/icons/app.svg)
find_program(TORVANE_RSVG_CONVERT rsvg-convert REQUIRED)
set(TORVANE_ICON_PNGS)
foreach(size 16 24 32 48 64 128 256)
  set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/${TORVANE_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
    COMMAND ${TORVANE_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${TORVANE_ICON_SVG}
    DEPENDS ${TORVANE_ICON_SVG}
    COMMENT "Icon ${size}x${size}")
  list(APPEND TORVANE_ICON_PNGS ${png})
  install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(torvane_icons ALL DEPENDS ${TORVANE_ICON_PNGS})
install(FILES ${TORVANE_ICON_SVG} DESTINATION share/icons/hicolor/scalable/apps RENAME ${TORVANE_APP_ID}.svg)
