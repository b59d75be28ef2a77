#pragma once

#include "ViscaField.h"

#include <QByteArray>

// One command of the camera link: the VISCA message as the camera's command list writes it (fixed bytes, where the
// value goes, fixed bytes after it), the value's field, and how the exchange runs. Every command of every model
// variant is framed from one of these rows by payload(), so two commands differ only in their rows.
struct ViscaCommand {
	// What stands between the fixed bytes before and after the value.
	enum class Layout {
		None,         // nothing: the message is fixed
		Byte,         // one byte: `base` plus the value (a drive's direction sits in the high nibble)
		TwoNibbles,   // 0p 0q
		Position,     // 0p 0q 0r 0s
		PositionByte, // 0p 0q 0r 0s, then `extra` as one byte (the zoom speed)
		TwoPositions, // 0p 0q 0r 0s, then `extra` as 0p 0q 0r 0s (a limit corner's pan and tilt)
		TwoBytes,     // the value, then `extra`, one byte each (a drive's pan and tilt speeds)
	};

	const char *name; // the operation that sends it, naming it when a value is clamped
	const char *head; // the fixed bytes before the value, as hex
	Layout layout = Layout::None;
	ViscaField field = ViscaFields::byte; // the value's range
	int base = 0;
	const char *tail = ""; // fixed bytes after the value, before the terminator, as hex
	int tries = 2;
	bool awaitsCompletion = false; // the completion, the camera's second reply, is what confirms it

	static constexpr ViscaCommand fixed(const char *name, const char *message) { return {name, message}; }
	static constexpr ViscaCommand byte(const char *name, const char *head, ViscaField field, int base = 0)
	{
		return {name, head, Layout::Byte, field, base};
	}
	static constexpr ViscaCommand nibbles(const char *name, const char *head)
	{
		return {name, head, Layout::TwoNibbles, ViscaFields::twoNibbles};
	}
	static constexpr ViscaCommand position(const char *name, const char *head, Layout layout = Layout::Position)
	{
		return {name, head, layout, ViscaFields::position};
	}
	// 81 01 06 01 VV WW pp tt FF: the pan and tilt speeds, then the directions (pan 01 left, 02 right, tilt 01
	// up, 02 down, 03 holds either axis).
	static constexpr ViscaCommand drive(const char *name, const char *directions)
	{
		return {name, "81 01 06 01", Layout::TwoBytes, ViscaFields::panSpeed, 0, directions};
	}
	// Sent at most once, whatever the reply.
	constexpr ViscaCommand once() const
	{
		ViscaCommand command = *this;
		command.tries = 1;
		return command;
	}
	constexpr ViscaCommand confirmedByCompletion() const
	{
		ViscaCommand command = *this;
		command.awaitsCompletion = true;
		return command;
	}

	// The whole message carrying `value`, kept inside the field, and `extra`, a number the link keeps inside its
	// own field when it is stored (a speed, a limit), terminator included.
	QByteArray payload(int value = 0, int extra = 0) const;
};

namespace ViscaCommands {

using Layout = ViscaCommand::Layout;
using ViscaFields::byte;
using ViscaFields::focusSpeed;
using ViscaFields::memory;
using ViscaFields::nibble;
using ViscaFields::zoomSpeed;

// The value byte of an on/off setting: 02 on, 03 off.
inline constexpr int kOn = 0x02;
inline constexpr int kOff = 0x03;

// --- Motion, common to every model ---
inline constexpr ViscaCommand home = ViscaCommand::fixed("setHome", "81 01 06 04");
inline constexpr ViscaCommand up = ViscaCommand::drive("setMotorUP", "03 01");
inline constexpr ViscaCommand down = ViscaCommand::drive("setMotorDown", "03 02");
inline constexpr ViscaCommand left = ViscaCommand::drive("setMotorLeft", "01 03");
inline constexpr ViscaCommand right = ViscaCommand::drive("setMotorRight", "02 03");
inline constexpr ViscaCommand upLeft = ViscaCommand::drive("setMotorUpLeft", "01 01");
inline constexpr ViscaCommand upRight = ViscaCommand::drive("setMotorUpRight", "02 01");
inline constexpr ViscaCommand downLeft = ViscaCommand::drive("setMotorDownLeft", "01 02");
inline constexpr ViscaCommand downRight = ViscaCommand::drive("setMotorDownRight", "02 02");
inline constexpr ViscaCommand stop = ViscaCommand::drive("setMotorStop", "03 03");
inline constexpr ViscaCommand presetSpeed =
	ViscaCommand::byte("setPresetSpeed", "81 01 06 20", ViscaFields::presetSpeed);
inline constexpr ViscaCommand speedCompensation = ViscaCommand::byte("setPTZspeedComp", "81 01 06 1F 01", byte);
// Once: a camera that refused it would refuse it again, and a lost reply is the lamps' to send again.
inline constexpr ViscaCommand tally = ViscaCommand::byte("setTally", "81 01 7E 01 0A 00", nibble).once();
// A limit is always set as a whole corner: 81 01 06 07 00 0w, then pan and tilt (w: 1 up-right, 0 down-left).
inline constexpr ViscaCommand upRightLimit =
	ViscaCommand::position("up-right limit", "81 01 06 07 00 01", Layout::TwoPositions);
inline constexpr ViscaCommand downLeftLimit =
	ViscaCommand::position("down-left limit", "81 01 06 07 00 00", Layout::TwoPositions);
inline constexpr ViscaCommand upRightLimitClear =
	ViscaCommand::fixed("setPanTilt_RightUpLimit_Clear", "81 01 06 07 01 01 07 0F 0F 0F 07 0F 0F 0F");
inline constexpr ViscaCommand downLeftLimitClear =
	ViscaCommand::fixed("setPanTilt_LeftDownLimit_Clear", "81 01 06 07 01 00 07 0F 0F 0F 07 0F 0F 0F");

// --- Lens: tele and near are 2p and 3p, the other way round from each other ---
inline constexpr ViscaCommand zoomTele = ViscaCommand::byte("setZoomIn", "81 01 04 07", zoomSpeed, 0x20);
inline constexpr ViscaCommand zoomWide = ViscaCommand::byte("setZoomOut", "81 01 04 07", zoomSpeed, 0x30);
// What confirms a zoom stop is the completion, the second datagram the camera sends.
inline constexpr ViscaCommand zoomStop = ViscaCommand::fixed("setZoomStop", "81 01 04 07 00").confirmedByCompletion();
inline constexpr ViscaCommand zoomPosition =
	ViscaCommand::position("setZoomDirect", "81 01 04 47", Layout::PositionByte).confirmedByCompletion();
inline constexpr ViscaCommand focusNear = ViscaCommand::byte("setFocusNearWithSpeed", "81 01 04 08", focusSpeed, 0x30);
inline constexpr ViscaCommand focusFar = ViscaCommand::byte("setFocusfarWithSpeed", "81 01 04 08", focusSpeed, 0x20);
inline constexpr ViscaCommand focusStop = ViscaCommand::fixed("setFocusStop", "81 01 04 08 00");
inline constexpr ViscaCommand focusPosition =
	ViscaCommand::position("setFocusDirect", "81 01 04 48").confirmedByCompletion();
inline constexpr ViscaCommand focusMode = ViscaCommand::byte("setAfMode", "81 01 04 38", nibble);

// --- Preset memories: 81 01 04 3F aa pp FF, aa 00 reset, 01 save, 02 recall ---
inline constexpr ViscaCommand memoryReset = ViscaCommand::byte("setMemory1_Reset", "81 01 04 3F 00", memory);
inline constexpr ViscaCommand memorySave = ViscaCommand::byte("setMemory1_Save", "81 01 04 3F 01", memory);
// The camera acknowledges a recall at once and completes it only when it arrives at the preset, so the completion
// is awaited and the recall is never repeated: a second recall would restart the move.
inline constexpr ViscaCommand memoryRecall =
	ViscaCommand::byte("setMemory1_Recall", "81 01 04 3F 02", memory).once().confirmedByCompletion();

// --- Exposure ---
inline constexpr ViscaCommand aeMode = ViscaCommand::byte("setAeMode", "81 01 04 39", nibble);
inline constexpr ViscaCommand shutter = ViscaCommand::nibbles("setShutterDirect", "81 01 04 4A 00 00");
inline constexpr ViscaCommand iris = ViscaCommand::byte("setIrisDirect", "81 01 04 4B 00 00 00", byte);
inline constexpr ViscaCommand gain = ViscaCommand::nibbles("setAeGain", "81 01 04 4C 00 00");

// --- White balance ---
inline constexpr ViscaCommand wbMode = ViscaCommand::byte("setWBmode", "81 01 04 35", nibble);
inline constexpr ViscaCommand redGain = ViscaCommand::nibbles("setRGain", "81 01 04 43 00 00");
inline constexpr ViscaCommand blueGain = ViscaCommand::nibbles("setBGain", "81 01 04 44 00 00");
inline constexpr ViscaCommand onePushTrigger = ViscaCommand::fixed("setOnePushTrigger", "81 01 04 10 05");

// --- Image ---
inline constexpr ViscaCommand brightness = ViscaCommand::byte("setBrightness", "81 01 04 4D 00 00 00", byte);
inline constexpr ViscaCommand hue = ViscaCommand::byte("setHue", "81 01 04 4F 00 00 00", byte);
inline constexpr ViscaCommand saturation = ViscaCommand::byte("setSaturation", "81 01 04 49 00 00 00", byte);
inline constexpr ViscaCommand sharpness = ViscaCommand::nibbles("setSharpness", "81 01 04 42 00 00");
inline constexpr ViscaCommand gamma = ViscaCommand::byte("setGamma", "81 01 04 5B", nibble);
inline constexpr ViscaCommand flip = ViscaCommand::byte("setFlip", "81 01 04 66", nibble);
inline constexpr ViscaCommand mirror = ViscaCommand::byte("setMirror", "81 01 04 61", nibble);
// Switching the image mode reprocesses the whole picture; its completion is the reply to check.
inline constexpr ViscaCommand imageMode =
	ViscaCommand::byte("setImageMode", "81 01 04 3F 04", nibble).confirmedByCompletion();

// --- D26G family: speed settings in a vendor command group ---
inline constexpr ViscaCommand d26gSpeedCompensation = ViscaCommand::byte("setPTZspeedComp", "81 01 7E 03 03", byte);
inline constexpr ViscaCommand d26gPresetSpeed =
	ViscaCommand::byte("setPresetSpeed", "81 01 7E 03 02", ViscaFields::presetSpeed).once();

// --- HX7: hue, saturation and sharpness in the vendor image-adjust block ---
inline constexpr ViscaCommand hx7Hue = ViscaCommand::nibbles("setHue", "81 01 0E 24 44").once();
inline constexpr ViscaCommand hx7Saturation = ViscaCommand::nibbles("setSaturation", "81 01 0E 24 43").once();
inline constexpr ViscaCommand hx7Sharpness = ViscaCommand::nibbles("setSharpness", "81 01 0E 24 40").once();

// --- HX7 and ZQ418 family: zoom positions without a speed byte, checked by the first reply ---
inline constexpr ViscaCommand zoomPositionAlone = ViscaCommand::position("setZoomDirect", "81 01 04 47");

// --- ZQ418 family: the preset speed's short command ---
inline constexpr ViscaCommand zq418PresetSpeed =
	ViscaCommand::byte("setPresetSpeed", "81 01 01", ViscaFields::presetSpeed);

} // namespace ViscaCommands
