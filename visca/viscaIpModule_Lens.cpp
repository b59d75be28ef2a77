// Zoom, focus and the preset memories of the camera link.

#include "ViscaCommand.h"
#include "ViscaInquiry.h"
#include "viscaIpModule.h"
#include "ViscaLog.h"

namespace {

// The focus mode answer: 02 auto, 03 manual.
constexpr int kAutoFocus = 0x02;

} // namespace

void viscaIpModule::setZoomSpeed(int speed)
{
	zoomSpeed = ViscaFields::zoomSpeed.fit(speed, __func__);
}

void viscaIpModule::setFocusSpeed(int speed)
{
	focusSpeed = ViscaFields::focusSpeed.fit(speed, __func__);
}

void viscaIpModule::setZoomIn()
{
	send(ViscaCommands::zoomTele, zoomSpeed);
}

void viscaIpModule::setZoomOut()
{
	send(ViscaCommands::zoomWide, zoomSpeed);
}

void viscaIpModule::setZoomStop()
{
	send(ViscaCommands::zoomStop);
}

void viscaIpModule::setZoomDirect(int position)
{
	send(ViscaCommands::zoomPosition, position, zoomSpeed);
}

int viscaIpModule::getZoomDirect()
{
	pauseFor(kZoomSettleMs);
	const int position = inquire(ViscaInquiries::zoomPosition);
	// A failed inquiry has logged its own line.
	if (position >= 0)
		qCDebug(lcLink) << "getZoomDirect:" << position;
	return position;
}

void viscaIpModule::setFocusNearWithSpeed()
{
	send(ViscaCommands::focusNear, focusSpeed);
}

void viscaIpModule::setFocusfarWithSpeed()
{
	send(ViscaCommands::focusFar, focusSpeed);
}

void viscaIpModule::setFocusStop()
{
	send(ViscaCommands::focusStop);
}

void viscaIpModule::setFocusDirect(int position)
{
	send(ViscaCommands::focusPosition, position);
}

int viscaIpModule::getFocusDirect()
{
	return inquire(ViscaInquiries::focusPosition);
}

void viscaIpModule::setAfMode(bool autoFocus)
{
	send(ViscaCommands::focusMode, autoFocus ? ViscaCommands::kOn : ViscaCommands::kOff);
}

bool viscaIpModule::getAfMode()
{
	return inquire(ViscaInquiries::focusMode) == kAutoFocus;
}

void viscaIpModule::setMemory1_Reset()
{
	send(ViscaCommands::memoryReset, presetIdx);
}

void viscaIpModule::setMemory1_Save()
{
	send(ViscaCommands::memorySave, presetIdx);
}

void viscaIpModule::setMemory1_Recall()
{
	send(ViscaCommands::memoryRecall, presetIdx);
	pauseFor(kRecallSettleMs);
}
