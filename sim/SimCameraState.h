#pragma once

#include <QMap>

#include <cstdint>

// What the simulated camera currently holds: everything a command changes and an inquiry reports. A plain value,
// so a test can take a snapshot and compare it with what it asked the camera to do.
struct SimCameraState {
	enum class Motion { Stop, Up, Down, Left, Right, UpLeft, UpRight, DownLeft, DownRight };
	enum class Drive { Stop, Tele, Wide }; // zoom: tele/wide; focus: Tele = far, Wide = near

	struct Limit {
		bool set = false;
		uint16_t pan = 0;
		uint16_t tilt = 0;
	};

	// The settings a memory stores and recalls.
	struct Picture {
		int zoom = 0;
		int focus = 0x1000;
		bool autoFocus = true;
		int aeMode = 0x00;
		int shutter = 0;
		int iris = 0;
		int gain = 0;
		int wbMode = 0x00;
		int rGain = 0x80;
		int bGain = 0x80;
		int brightness = 7;
		int hue = 7;
		int saturation = 4;
		int sharpness = 4;
		int gamma = 0;
		int flip = 0x03;
		int mirror = 0x03;
		int imageMode = 0;
		bool operator==(const Picture &o) const;
		bool operator!=(const Picture &o) const { return !(*this == o); }
	};

	struct Preset {
		Picture picture;
		int16_t pan = 0;
		int16_t tilt = 0;
	};

	bool powerOn = true;
	bool tally = false; // the tally lamp

	Motion motion = Motion::Stop;
	int panSpeed = 0; // speed bytes of the last pan/tilt drive message
	int tiltSpeed = 0;
	int16_t pan = 0; // position, moved a little for every drive message and on every motion tick
	int16_t tilt = 0;
	int homeCount = 0;
	Limit upRightLimit;
	Limit downLeftLimit;

	Drive zoomDrive = Drive::Stop;
	int zoomDriveSpeed = 0;
	int zoomDirectSpeed = -1; // speed byte of the last direct zoom; -1 when it came without one
	Drive focusDrive = Drive::Stop;
	int focusDriveSpeed = 0;

	Picture picture;

	QMap<int, Preset> presets; // memory number -> stored settings
	int lastSavedPreset = -1;
	int lastRecalledPreset = -1;
	int lastResetPreset = -1;
	int presetSpeed = 24;
	int ptzSpeedComp = 0;
	int onePushCount = 0;
	int interfaceClearCount = 0;
	int commandCount = 0; // commands that were executed (acknowledged and completed)
	int inquiryCount = 0; // inquiries that were answered from this state
};
