# The Debian package (cpack -G DEB in the build folder): the module and its data in Debian's OBS folders, the tools
# in /usr/bin. Name and version are the project's; the libraries the binaries link become dependencies through
# dpkg-shlibdeps. OBS is named because it is the host that loads the module, and Qt's SVG plug-in because every
# image of the window is an SVG that Qt loads through it, which no link shows.
if(NOT KAVREN_INSTALL_LAYOUT STREQUAL "system")
	return()
endif()
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
	message(WARNING "The Debian package expects CMAKE_INSTALL_PREFIX /usr (Debian's OBS looks for modules only "
		"there); it is ${CMAKE_INSTALL_PREFIX}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Kavren PTZ <support@kavren-ptz.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "OBS Studio plug-in that drives PTZ cameras with VISCA over IP")
# Lines of the control file's extended description stay under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION "${KAVREN_DISPLAY_NAME} adds a controller window to OBS Studio's Tools
menu from which a producer drives up to eight PTZ network cameras: pan, tilt,
zoom, focus, presets, exposure and picture settings, camera search on the
network and OBS hotkeys. A WebSocket relay lets other programs reach the
cameras. The package also holds kavren-visca, a command-line camera client,
and kavren-camera-sim, a simulated camera.")
# One package for everything: the module, its data and the tools.
set(CPACK_DEB_COMPONENT_INSTALL OFF)
# The build keeps debugging information; the package does not need it.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.kavren-ptz.example")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "obs-studio (>= 29), libqt5svg5")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
