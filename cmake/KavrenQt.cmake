# Which Qt the module is built with. OBS loads modules into its own Qt, so the module must use the Qt major of the
# OBS it is built for: Qt 6 from OBS 30 on, Qt 5 for OBS 29. The found libobs decides unless KAVREN_QT_MAJOR says
# otherwise. Every target links Qt's versionless targets (Qt::Core, ...), which both majors provide, so this file is
# the one place that knows the major.
set(KAVREN_QT_MAJOR "" CACHE STRING "Qt major to build with, 5 or 6 (empty: the one the found OBS uses)")
set_property(CACHE KAVREN_QT_MAJOR PROPERTY STRINGS "" 5 6)

if(libobs_VERSION VERSION_GREATER_EQUAL 30)
	set(kavren_obs_qt_major 6)
else()
	set(kavren_obs_qt_major 5)
endif()
if(KAVREN_QT_MAJOR STREQUAL "")
	set(kavren_qt_major ${kavren_obs_qt_major})
elseif(KAVREN_QT_MAJOR MATCHES "^[56]$")
	set(kavren_qt_major ${KAVREN_QT_MAJOR})
else()
	message(FATAL_ERROR "KAVREN_QT_MAJOR must be 5, 6 or empty, not \"${KAVREN_QT_MAJOR}\"")
endif()
if(NOT kavren_qt_major EQUAL kavren_obs_qt_major)
	message(WARNING "Building with Qt ${kavren_qt_major} for OBS ${libobs_VERSION}, which runs on Qt "
		"${kavren_obs_qt_major}: that OBS will not load this module (it refuses at load with a line in the log)")
endif()

if(kavren_qt_major EQUAL 5)
	find_package(Qt5 5.15 REQUIRED COMPONENTS Core Gui Widgets Network Svg Test)
else()
	find_package(Qt6 6.2 REQUIRED COMPONENTS Core Gui Widgets Network Svg Test)
endif()
message(STATUS "Building for OBS ${libobs_VERSION} with Qt ${Qt${kavren_qt_major}_VERSION}")
