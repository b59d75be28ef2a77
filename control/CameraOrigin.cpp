#include "control/CameraOrigin.h"

QString originName(CameraOrigin origin)
{
	switch (origin) {
	case CameraOrigin::Window:
		return QStringLiteral("window");
	case CameraOrigin::Hotkey:
		return QStringLiteral("hotkey");
	case CameraOrigin::Gamepad:
		return QStringLiteral("gamepad");
	case CameraOrigin::Request:
		return QStringLiteral("request");
	case CameraOrigin::Scene:
		return QStringLiteral("scene");
	case CameraOrigin::Tally:
		return QStringLiteral("tally");
	case CameraOrigin::Controller:
		return QStringLiteral("controller");
	}
	return QString();
}
