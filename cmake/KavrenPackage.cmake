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
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${KAVREN_HOMEPAGE}")
# A module runs only in the OBS major it was built for (OBS 30 moved to Qt 6 and skips modules that link Qt 5), so a
# package for OBS 29 must not install beside OBS 30. A Qt 6 build serves the OBS it was built for and later ones: the
# Debian 13 build (OBS 30, Qt 6.8) loads into OBS 32 too, while a build against OBS 32's Qt 6.11 needs Qt 6.11, which
# dpkg-shlibdeps adds. Qt's SVG plug-in comes with libqt5svg5 for Qt 5, which the module links (dpkg-shlibdeps names
# it), and is a package of its own for Qt 6.
if(libobs_VERSION VERSION_GREATER_EQUAL 30)
	set(kavren_obs_dependency "obs-studio (>= ${libobs_VERSION_MAJOR})")
else()
	math(EXPR kavren_next_obs "${libobs_VERSION_MAJOR} + 1")
	set(kavren_obs_dependency "obs-studio (>= ${libobs_VERSION_MAJOR}), obs-studio (<< ${kavren_next_obs})")
endif()
if(kavren_qt_major EQUAL 6)
	set(CPACK_DEBIAN_PACKAGE_DEPENDS "${kavren_obs_dependency}, qt6-svg-plugins")
else()
	set(CPACK_DEBIAN_PACKAGE_DEPENDS "${kavren_obs_dependency}")
endif()
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# Debian's policy: every package names its copyright and licence in its documentation folder, beside its changelog,
# compressed without a time stamp so that the package is the same from build to build.
set(kavren_changelog ${PROJECT_SOURCE_DIR}/resources/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${kavren_changelog})
execute_process(COMMAND gzip -9nc INPUT_FILE ${kavren_changelog}
	OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz
	DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT module)

include(CPack)
