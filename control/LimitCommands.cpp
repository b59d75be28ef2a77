#include "control/LimitCommands.h"

#include "camera/viscaGeneralOps.h"
#include "visca/viscaIpModule.h"

namespace {

using LimitOperation = void (viscaIpModule::*)(int step, uint32_t max, uint32_t min);

CameraCommand limitCommand(const char *name, LimitOperation operation, uint32_t max, uint32_t min)
{
	CameraCommand command;
	command.name = name;
	command.run = [operation, max, min](viscaIpModule &link, int step) { (link.*operation)(step, max, min); };
	return command;
}

CameraCommand clearCommand(const char *name, void (viscaIpModule::*operation)())
{
	CameraCommand command;
	command.name = name;
	command.run = [operation](viscaIpModule &link, int) { (link.*operation)(); };
	return command;
}

} // namespace

namespace CameraCommands {

CameraCommand panTiltLimit(LimitSide side, const viscaGeneralOps &ops)
{
	switch (side) {
	case LimitSide::TiltUp:
		return limitCommand("setTiltUpLimit", &viscaIpModule::setTiltUpLimit, ops.tiltUpMax(), ops.tiltUpMin());
	case LimitSide::PanLeft:
		return limitCommand("setPanLeftLimit", &viscaIpModule::setPanLeftLimit, ops.panLeftMax(),
				    ops.panLeftMin());
	case LimitSide::TiltDown:
		return limitCommand("setTiltDownLimit", &viscaIpModule::setTiltDownLimit, ops.tiltDownMax(),
				    ops.tiltDownMin());
	case LimitSide::PanRight:
		return limitCommand("setPanRightLimit", &viscaIpModule::setPanRightLimit, ops.panRightMax(),
				    ops.panRightMin());
	}
	return CameraCommand();
}

QList<CameraCommand> clearPanTiltLimits()
{
	return {clearCommand("setPanTilt_RightUpLimit_Clear", &viscaIpModule::setPanTilt_RightUpLimit_Clear),
		clearCommand("setPanTilt_LeftDownLimit_Clear", &viscaIpModule::setPanTilt_LeftDownLimit_Clear)};
}

CameraCommand speedCompensation()
{
	CameraCommand command;
	command.name = "setPTZspeedComp";
	command.run = [](viscaIpModule &link, int on) { link.setPTZspeedComp(on); };
	return command;
}

} // namespace CameraCommands
