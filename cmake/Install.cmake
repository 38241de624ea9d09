# What `cmake --install` lays out for a desktop, and the Debian package made from it
# (`cpack -G DEB` in a Release build folder configured with -DCMAKE_INSTALL_PREFIX=/usr).
#   bin/            zymradio (a link) and the command-line tools
#   lib/zymradio/   the program and the ad view's module it loads from its own folder
#   share/applications/zymradio.desktop               both URL schemes
#   share/icons/hicolor/{scalable,NxN}/apps/zymradio.*
#   share/dbus-1/services/{org.mpris.MediaPlayer2.zymradio,org.zym.Radio}.service

find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(ZYM_PROGRAM_DIR lib/zymradio)
install(TARGETS zymradio RUNTIME DESTINATION ${ZYM_PROGRAM_DIR})
install(TARGETS zymradio-adview LIBRARY DESTINATION ${ZYM_PROGRAM_DIR})
# The program finds its module beside its real path, which the link leads to.
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/packaging")
file(CREATE_LINK ../${ZYM_PROGRAM_DIR}/zymradio "${CMAKE_BINARY_DIR}/packaging/zymradio" SYMBOLIC)
install(FILES "${CMAKE_BINARY_DIR}/packaging/zymradio" DESTINATION bin)
foreach(tool zymradio-cli zymradio-play zymdec)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION bin)
  endif()
endforeach()

install(FILES "${CMAKE_SOURCE_DIR}/resources/zymradio.desktop" DESTINATION share/applications)

set(ZYM_ICON_SIZES 16 22 24 32 48 64 128 256)
set(ZYM_ICON_DIR "${CMAKE_BINARY_DIR}/packaging/icons")
set(ZYM_ICON_FILES "${ZYM_ICON_DIR}/scalable/zymradio.svg")
foreach(size IN LISTS ZYM_ICON_SIZES)
  list(APPEND ZYM_ICON_FILES "${ZYM_ICON_DIR}/${size}x${size}/zymradio.png")
endforeach()
add_custom_command(OUTPUT ${ZYM_ICON_FILES}
  COMMAND Python3::Interpreter "${CMAKE_SOURCE_DIR}/tools/draw_icon.py" "${ZYM_ICON_DIR}" ${ZYM_ICON_SIZES}
  DEPENDS "${CMAKE_SOURCE_DIR}/tools/draw_icon.py"
  COMMENT "Drawing the program's icon")
add_custom_target(zymradio-icons ALL DEPENDS ${ZYM_ICON_FILES})
install(FILES "${ZYM_ICON_DIR}/scalable/zymradio.svg" DESTINATION share/icons/hicolor/scalable/apps)
foreach(size IN LISTS ZYM_ICON_SIZES)
  install(FILES "${ZYM_ICON_DIR}/${size}x${size}/zymradio.png" DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()

foreach(ZYM_BUS_NAME org.mpris.MediaPlayer2.zymradio org.zym.Radio)
  configure_file("${CMAKE_SOURCE_DIR}/packaging/dbus-service.in" "${CMAKE_BINARY_DIR}/packaging/${ZYM_BUS_NAME}.service" @ONLY)
  install(FILES "${CMAKE_BINARY_DIR}/packaging/${ZYM_BUS_NAME}.service" DESTINATION share/dbus-1/services)
endforeach()

set(CPACK_PACKAGE_NAME zymradio)
set(CPACK_PACKAGE_VENDOR "ZYM")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Internet radio player with a station directory")
set(CPACK_PACKAGE_DESCRIPTION "ZYM Radio plays the stations of the maker's radio directory (MP3, AAC, HE-AAC and VLB over HTTP and Quintrel streams), with presets, song display and album art. It is driven from the desktop's media keys and sound menu (MPRIS) and opens zymradio: and qint: links.")
set(CPACK_PACKAGE_CONTACT "ZYM Radio developers <radio@zym.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so the shared-library scan cannot see them: the X11 platform and the
# TIFF writer of the album-art store.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-image-formats-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring, xdg-utils")
include(CPack)
