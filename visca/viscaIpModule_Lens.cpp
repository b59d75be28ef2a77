// Zoom, focus and the preset memories of the camera link.

#include "ViscaField.h"
#include "ViscaInquiry.h"
#include "viscaIpModule.h"
#include "ViscaLog.h"
#include "viscaPayload.h"

namespace {

// The focus mode answer: 02 auto, 03 manual.
constexpr int kAutoFocus = 0x02;

// Memory actions of 81 01 04 3F aa pp FF.
constexpr int kMemoryReset = 0x00;
constexpr int kMemorySave = 0x01;
constexpr int kMemoryRecall = 0x02;

QByteArray memoryMessage(int action, int index, const char *operation)
{
	return viscaPayload({0x81, 0x01, 0x04, 0x3F, action, ViscaFields::memory.fit(index, operation), 0xFF});
}

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
	sendCommand(viscaPayload({0x81, 0x01, 0x04, 0x07, 0x20 | zoomSpeed, 0xFF}));
}

void viscaIpModule::setZoomOut()
{
	sendCommand(viscaPayload({0x81, 0x01, 0x04, 0x07, 0x30 | zoomSpeed, 0xFF}));
}

void viscaIpModule::setZoomStop()
{
	// What confirms a zoom stop is the completion, the second datagram the camera sends.
	expectSecondReply();
	sendCommand(stopPayload(Drive::Zoom));
}

void viscaIpModule::setZoomDirect(int position)
{
	QByteArray payload = viscaPayload({0x81, 0x01, 0x04, 0x47});
	appendNibbles16(payload, uint32_t(ViscaFields::position.fit(position, __func__)));
	payload.append(static_cast<char>(zoomSpeed));
	payload.append(static_cast<char>(0xFF));
	expectSecondReply();
	sendCommand(payload);
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
	sendCommand(viscaPayload({0x81, 0x01, 0x04, 0x08, 0x30 | focusSpeed, 0xFF}));
}

void viscaIpModule::setFocusfarWithSpeed()
{
	sendCommand(viscaPayload({0x81, 0x01, 0x04, 0x08, 0x20 | focusSpeed, 0xFF}));
}

void viscaIpModule::setFocusStop()
{
	sendCommand(stopPayload(Drive::Focus));
}

void viscaIpModule::setFocusDirect(int position)
{
	QByteArray payload = viscaPayload({0x81, 0x01, 0x04, 0x48});
	appendNibbles16(payload, uint32_t(ViscaFields::position.fit(position, __func__)));
	payload.append(static_cast<char>(0xFF));
	expectSecondReply();
	sendCommand(payload);
}

int viscaIpModule::getFocusDirect()
{
	return inquire(ViscaInquiries::focusPosition);
}

void viscaIpModule::setAfMode(bool autoFocus)
{
	sendCommand(viscaPayload({0x81, 0x01, 0x04, 0x38, autoFocus ? 0x02 : 0x03, 0xFF}));
}

bool viscaIpModule::getAfMode()
{
	return inquire(ViscaInquiries::focusMode) == kAutoFocus;
}

void viscaIpModule::setMemory1_Reset()
{
	sendCommand(memoryMessage(kMemoryReset, presetIdx, __func__));
}

void viscaIpModule::setMemory1_Save()
{
	sendCommand(memoryMessage(kMemorySave, presetIdx, __func__));
}

void viscaIpModule::setMemory1_Recall()
{
	// The camera acknowledges a recall at once and completes it only when it arrives at the preset, so the
	// completion is awaited and the recall is never repeated: a second recall would restart the move.
	expectSecondReply();
	sendCommand(memoryMessage(kMemoryRecall, presetIdx, __func__), 1);
	pauseFor(kRecallSettleMs);
}
