#include "SimCommandTable.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdlib>

namespace {

using State = SimCameraState;
using Fields = QVector<int>;

// Link classes and identification families as bit masks, so one table row can name the models it belongs to.
enum : unsigned {
	Base = 1u << int(SimLinkClass::Base),
	D26G = 1u << int(SimLinkClass::D26G),
	HX7 = 1u << int(SimLinkClass::HX7),
	ZQ418 = 1u << int(SimLinkClass::ZQ418),
	AllClasses = Base | D26G | HX7 | ZQ418,
};

enum : unsigned {
	FamHX7 = 1u << int(SimIdentityFamily::HX7),
	FamJ57 = 1u << int(SimIdentityFamily::J57),
	FamD26G = 1u << int(SimIdentityFamily::D26G),
	FamW38B = 1u << int(SimIdentityFamily::W38B),
	FamZQ418 = 1u << int(SimIdentityFamily::ZQ418),
	AllFamilies = FamHX7 | FamJ57 | FamD26G | FamW38B | FamZQ418,
};

const int Cmd = SimCommandTable::CommandType;
const int Inq = SimCommandTable::InquiryType;
const int AnyType = SimCommandTable::AnyType;

// --- Answer encodings -------------------------------------------------------------------------------------

QByteArray makeBytes(std::initializer_list<int> list)
{
	QByteArray out;
	for (int b : list)
		out.append(char(b & 0xFF));
	return out;
}

// 0p 0q 0r 0s: a 16-bit value, four bits per byte
QByteArray nibbles4(int v)
{
	return makeBytes({(v >> 12) & 0xF, (v >> 8) & 0xF, (v >> 4) & 0xF, v & 0xF});
}

// 00 00 0p 0q: an 8-bit value in the last two nibbles of a four-byte field (read back as N12*16+N13 or N13)
QByteArray lowByteField(int v)
{
	return makeBytes({0, 0, (v >> 4) & 0xF, v & 0xF});
}

QByteArray oneByte(int v)
{
	return makeBytes({v});
}

SimOutcome answer(const QByteArray &data)
{
	return SimOutcome::answer(data);
}

// --- Small state helpers ----------------------------------------------------------------------------------

const int kPanRange = 0x0990;  // pan positions run from -kPanRange to +kPanRange around home
const int kTiltRange = 0x0510; // tilt positions likewise
const int kZoomWide = 0x0000;
const int kZoomTele = 0x4000;
const int kFocusFar = 0x1000;
const int kFocusNear = 0xF000;

// The protocol's ranges of the speed fields.
const int kPanSpeedMin = 0x01, kPanSpeedMax = 0x18;
const int kTiltSpeedMin = 0x01, kTiltSpeedMax = 0x17;
const int kLensSpeedMax = 0x07; // zoom and focus speeds, 0 (slow) to 7 (fast)
const int kPresetSpeedMin = 0x01, kPresetSpeedMax = 0x18;
// Gain positions are 7-bit like the other parameter bytes; some models report the gain as one whole byte.
const int kGainMax = 0x7F;

int clampTo(int v, int lo, int hi)
{
	return std::min(std::max(v, lo), hi);
}

bool inRange(int v, int lo, int hi)
{
	return v >= lo && v <= hi;
}

SimOutcome presetSpeed(int speed, State &s)
{
	if (!inRange(speed, kPresetSpeedMin, kPresetSpeedMax))
		return SimOutcome::syntaxError();
	s.presetSpeed = speed;
	return SimOutcome::command();
}

// A setting that takes whatever value its field can hold.
SimOutcome setting(int &field, int value)
{
	field = value;
	return SimOutcome::command();
}

// Keeps a position inside the limits that were set; a corner pair that contradicts itself is ignored, since a
// camera that cannot satisfy both corners does not freeze.
void applyLimits(State &s)
{
	int panLo = -kPanRange, panHi = kPanRange, tiltLo = -kTiltRange, tiltHi = kTiltRange;
	if (s.upRightLimit.set) {
		panHi = int16_t(s.upRightLimit.pan);
		tiltHi = int16_t(s.upRightLimit.tilt);
	}
	if (s.downLeftLimit.set) {
		panLo = int16_t(s.downLeftLimit.pan);
		tiltLo = int16_t(s.downLeftLimit.tilt);
	}
	if (panLo <= panHi)
		s.pan = int16_t(clampTo(s.pan, panLo, panHi));
	if (tiltLo <= tiltHi)
		s.tilt = int16_t(clampTo(s.tilt, tiltLo, tiltHi));
}

// Pan/tilt drive: 01 left / 02 right / 03 stop for pan, 01 up / 02 down / 03 stop for tilt.
SimOutcome drive(const Fields &f, State &s)
{
	const int panSpeed = f[0], tiltSpeed = f[1], panDir = f[2], tiltDir = f[3];
	if (!inRange(panDir, 1, 3) || !inRange(tiltDir, 1, 3) || !inRange(panSpeed, kPanSpeedMin, kPanSpeedMax) ||
	    !inRange(tiltSpeed, kTiltSpeedMin, kTiltSpeedMax))
		return SimOutcome::syntaxError();
	static const State::Motion motions[3][3] = {
		{State::Motion::UpLeft, State::Motion::DownLeft, State::Motion::Left},
		{State::Motion::UpRight, State::Motion::DownRight, State::Motion::Right},
		{State::Motion::Up, State::Motion::Down, State::Motion::Stop},
	};
	s.motion = motions[panDir - 1][tiltDir - 1];
	s.panSpeed = panSpeed;
	s.tiltSpeed = tiltSpeed;
	// One step per drive message keeps the position deterministic for tests while still showing the direction.
	const int panStep = panDir == 1 ? -panSpeed : panDir == 2 ? panSpeed : 0;
	const int tiltStep = tiltDir == 1 ? tiltSpeed : tiltDir == 2 ? -tiltSpeed : 0;
	s.pan = int16_t(clampTo(s.pan + panStep, -kPanRange, kPanRange));
	s.tilt = int16_t(clampTo(s.tilt + tiltStep, -kTiltRange, kTiltRange));
	applyLimits(s);
	return SimOutcome::command();
}

// Variable zoom/focus byte: 00 stop, 02/03 standard speed, 2p/3p variable speed p.
bool decodeDrive(int v, State::Drive &drive, int &speed)
{
	if (v == 0x00) {
		drive = State::Drive::Stop;
		speed = 0;
		return true;
	}
	if (v == 0x02 || v == 0x03) {
		drive = v == 0x02 ? State::Drive::Tele : State::Drive::Wide;
		speed = -1;
		return true;
	}
	if (((v & 0xF0) == 0x20 || (v & 0xF0) == 0x30) && (v & 0x0F) <= kLensSpeedMax) {
		drive = (v & 0xF0) == 0x20 ? State::Drive::Tele : State::Drive::Wide;
		speed = v & 0x0F;
		return true;
	}
	return false;
}

int driveStep(State::Drive drive, int speed)
{
	const int step = 0x100 * (speed < 0 ? 2 : speed + 1);
	return drive == State::Drive::Tele ? step : drive == State::Drive::Wide ? -step : 0;
}

SimOutcome onOff(int v, int &field)
{
	if (v != 0x02 && v != 0x03)
		return SimOutcome::syntaxError();
	field = v;
	return SimOutcome::command();
}

// Direct zoom: the lens travels to the position; `speed` is the speed byte, -1 for models that take none.
SimOutcome zoomTo(int position, int speed, State &s)
{
	const int steps = std::abs(position - s.picture.zoom);
	s.picture.zoom = position;
	s.zoomDirectSpeed = speed;
	s.zoomDrive = State::Drive::Stop;
	return SimOutcome::move(steps);
}

SimOutcome memory(int op, int number, State &s)
{
	// Memory numbers are 7-bit like every other VISCA parameter byte.
	if (number > 0x7F)
		return SimOutcome::syntaxError();
	switch (op) {
	case 0x00:
		s.presets.remove(number);
		s.lastResetPreset = number;
		return SimOutcome::command();
	case 0x01: {
		State::Preset p;
		p.picture = s.picture;
		p.pan = s.pan;
		p.tilt = s.tilt;
		s.presets.insert(number, p);
		s.lastSavedPreset = number;
		return SimOutcome::command();
	}
	case 0x02: {
		s.lastRecalledPreset = number;
		auto it = s.presets.constFind(number);
		if (it == s.presets.constEnd())
			return SimOutcome::command();
		// Head and lens travel together; the recall completes when the longest of their moves ends.
		const int steps = std::max({std::abs(it->pan - s.pan), std::abs(it->tilt - s.tilt),
					    std::abs(it->picture.zoom - s.picture.zoom),
					    std::abs(it->picture.focus - s.picture.focus)});
		s.picture = it->picture;
		s.pan = it->pan;
		s.tilt = it->tilt;
		s.motion = State::Motion::Stop;
		return SimOutcome::move(steps);
	}
	default:
		return SimOutcome::syntaxError();
	}
}

// --- Pattern matching -------------------------------------------------------------------------------------

struct Token {
	enum Kind { Literal, Byte, Nibble } kind;
	uint8_t value;
	char letter;
};

QVector<Token> compile(const char *pattern)
{
	QVector<Token> tokens;
	const QList<QByteArray> parts = QByteArray(pattern).split(' ');
	for (const QByteArray &part : parts) {
		if (part.isEmpty())
			continue;
		Q_ASSERT(part.size() == 2);
		const char a = part[0], b = part[1];
		const auto isUpperHex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
		if (isUpperHex(a) && isUpperHex(b))
			tokens.append({Token::Literal, uint8_t(part.toUInt(nullptr, 16)), 0});
		else if (a == '0')
			tokens.append({Token::Nibble, 0, b});
		else
			tokens.append({Token::Byte, 0, a});
	}
	return tokens;
}

bool match(const QVector<Token> &tokens, const QByteArray &payload, Fields &fields)
{
	fields.clear();
	if (tokens.size() != payload.size())
		return false;
	char openNibble = 0; // letter of the nibble field being accumulated, 0 when none
	for (int i = 0; i < tokens.size(); ++i) {
		const Token &t = tokens[i];
		const uint8_t b = uint8_t(payload[i]);
		if (t.kind != Token::Nibble || t.letter != openNibble)
			openNibble = 0;
		switch (t.kind) {
		case Token::Literal:
			if (b != t.value)
				return false;
			break;
		case Token::Byte:
			fields.append(b);
			break;
		case Token::Nibble:
			if (b > 0x0F)
				return false;
			if (openNibble)
				fields.last() = (fields.last() << 4) | b;
			else
				fields.append(b);
			openNibble = t.letter;
			break;
		}
	}
	return true;
}

// One message of the protocol: its bytes, the header type it must come with, the models that know it, and what it
// does to the camera.
struct Row {
	const char *pattern;
	int type;
	unsigned classes;
	unsigned families;
	SimOutcome (*apply)(const SimCommandTable &table, const Fields &f, State &s);
};

struct Entry {
	Row row;
	QVector<Token> tokens;
};

QVector<Entry> buildEntries()
{
	const Row rows[] = {
		// --- Interface ---
		{"81 01 00 01 FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) {
			 ++s.interfaceClearCount;
			 return SimOutcome::command();
		 }},
		{"88 01 00 01 FF", AnyType, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) {
			 ++s.interfaceClearCount;
			 return SimOutcome::raw(makeBytes({0x88, 0x01, 0x00, 0x01, 0xFF}));
		 }},
		{"81 01 04 00 vv FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &t, const Fields &f, State &s) {
			 if (f[0] == 0x02 || f[0] == 0x03) {
				 s.powerOn = f[0] == 0x02;
				 return SimOutcome::command();
			 }
			 // The HX7 link probes reachability with this power-class command.
			 if (f[0] == 0x12 && t.model().linkClass == SimLinkClass::HX7)
				 return SimOutcome::command();
			 return SimOutcome::syntaxError();
		 }},
		{"81 01 7E 01 0A 00 0p FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) {
			 if (f[0] != 0x02 && f[0] != 0x03)
				 return SimOutcome::syntaxError();
			 s.tally = f[0] == 0x02;
			 return SimOutcome::command();
		 }},
		{"81 09 04 00 FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) {
			 return answer(oneByte(s.powerOn ? 0x02 : 0x03));
		 }},

		// --- Identification ---
		{"81 09 00 02 FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &t, const Fields &, State &) { return SimOutcome::raw(t.versionReply()); }},
		{"81 09 00 02 00 05 FF", Inq, AllClasses, FamJ57,
		 [](const SimCommandTable &t, const Fields &, State &) {
			 return SimOutcome::raw(t.codeReply(SimIdentityFamily::J57));
		 }},
		// Sent framed as an inquiry although it reads like a command.
		{"81 01 02 03 FF", AnyType, AllClasses, FamD26G,
		 [](const SimCommandTable &t, const Fields &, State &) {
			 return SimOutcome::raw(t.codeReply(SimIdentityFamily::D26G));
		 }},
		{"81 09 00 02 00 03 FF", Inq, AllClasses, FamW38B,
		 [](const SimCommandTable &t, const Fields &, State &) {
			 return SimOutcome::raw(t.codeReply(SimIdentityFamily::W38B));
		 }},

		// --- Pan/tilt ---
		{"81 01 06 01 vv ww 0a 0b FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return drive(f, s); }},
		{"81 01 06 04 FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) {
			 s.pan = 0;
			 s.tilt = 0;
			 s.motion = State::Motion::Stop;
			 ++s.homeCount;
			 return SimOutcome::command();
		 }},
		{"81 01 06 07 00 0w 0y 0y 0y 0y 0z 0z 0z 0z FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) {
			 if (f[0] > 1)
				 return SimOutcome::syntaxError();
			 State::Limit &limit = f[0] == 1 ? s.upRightLimit : s.downLeftLimit;
			 limit.set = true;
			 limit.pan = uint16_t(f[1]);
			 limit.tilt = uint16_t(f[2]);
			 applyLimits(s);
			 return SimOutcome::command();
		 }},
		{"81 01 06 07 01 0w 07 0F 0F 0F 07 0F 0F 0F FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) {
			 if (f[0] > 1)
				 return SimOutcome::syntaxError();
			 (f[0] == 1 ? s.upRightLimit : s.downLeftLimit) = State::Limit();
			 return SimOutcome::command();
		 }},
		{"81 09 06 12 FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) {
			 return answer(nibbles4(uint16_t(s.pan)) + nibbles4(uint16_t(s.tilt)));
		 }},
		{"81 01 06 20 vv FF", Cmd, Base | HX7, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return presetSpeed(f[0], s); }},
		{"81 01 7E 03 02 vv FF", Cmd, D26G, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return presetSpeed(f[0], s); }},
		{"81 01 01 vv FF", Cmd, ZQ418, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return presetSpeed(f[0], s); }},
		{"81 01 06 1F 01 vv FF", Cmd, Base | HX7 | ZQ418, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return setting(s.ptzSpeedComp, f[0]); }},
		{"81 01 7E 03 03 vv FF", Cmd, D26G, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return setting(s.ptzSpeedComp, f[0]); }},

		// --- Zoom and focus ---
		{"81 01 04 07 vv FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) {
			 if (!decodeDrive(f[0], s.zoomDrive, s.zoomDriveSpeed))
				 return SimOutcome::syntaxError();
			 s.picture.zoom = clampTo(s.picture.zoom + driveStep(s.zoomDrive, s.zoomDriveSpeed), kZoomWide,
						  kZoomTele);
			 return SimOutcome::command();
		 }},
		{"81 01 04 47 0p 0p 0p 0p vv FF", Cmd, Base | D26G, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) {
			 if (f[1] > kLensSpeedMax)
				 return SimOutcome::syntaxError();
			 return zoomTo(f[0], f[1], s);
		 }},
		{"81 01 04 47 0p 0p 0p 0p FF", Cmd, HX7 | ZQ418, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return zoomTo(f[0], -1, s); }},
		{"81 09 04 47 FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) { return answer(nibbles4(s.picture.zoom)); }},
		{"81 01 04 08 vv FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) {
			 if (!decodeDrive(f[0], s.focusDrive, s.focusDriveSpeed))
				 return SimOutcome::syntaxError();
			 // 2p is far (towards infinity, lower positions), 3p near
			 s.picture.focus = clampTo(s.picture.focus - driveStep(s.focusDrive, s.focusDriveSpeed),
						   kFocusFar, kFocusNear);
			 return SimOutcome::command();
		 }},
		{"81 01 04 48 0p 0p 0p 0p FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) {
			 const int steps = std::abs(f[0] - s.picture.focus);
			 s.picture.focus = f[0];
			 s.focusDrive = State::Drive::Stop;
			 return SimOutcome::move(steps);
		 }},
		{"81 09 04 48 FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) { return answer(nibbles4(s.picture.focus)); }},
		{"81 01 04 38 vv FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) {
			 if (f[0] == 0x10)
				 s.picture.autoFocus = !s.picture.autoFocus;
			 else if (f[0] == 0x02 || f[0] == 0x03)
				 s.picture.autoFocus = f[0] == 0x02;
			 else
				 return SimOutcome::syntaxError();
			 return SimOutcome::command();
		 }},
		{"81 09 04 38 FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) {
			 return answer(oneByte(s.picture.autoFocus ? 0x02 : 0x03));
		 }},

		// --- Memories and image mode (one command prefix: 3F 00/01/02 memories, 3F 04 image mode) ---
		{"81 01 04 3F 04 0v FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return setting(s.picture.imageMode, f[0]); }},
		{"81 09 04 3F 04 FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) {
			 return answer(oneByte(s.picture.imageMode));
		 }},
		{"81 01 04 3F vv ww FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return memory(f[0], f[1], s); }},

		// --- Exposure ---
		{"81 01 04 39 0v FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return setting(s.picture.aeMode, f[0]); }},
		{"81 09 04 39 FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) { return answer(oneByte(s.picture.aeMode)); }},
		{"81 01 04 4A 00 00 0p 0p FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return setting(s.picture.shutter, f[0]); }},
		{"81 09 04 4A FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &,
		    State &s) { return answer(lowByteField(s.picture.shutter)); }},
		{"81 01 04 4B 00 00 00 vv FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return setting(s.picture.iris, f[0]); }},
		{"81 09 04 4B FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &,
		    State &s) { return answer(lowByteField(s.picture.iris)); }},
		{"81 01 04 4C 00 00 0p 0p FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) {
			 if (f[0] > kGainMax)
				 return SimOutcome::syntaxError();
			 return setting(s.picture.gain, f[0]);
		 }},
		{"81 09 04 4C FF", Inq, Base | D26G | HX7, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) {
			 return answer(lowByteField(s.picture.gain));
		 }},
		// The ZQ418 reports its gain as one whole byte.
		{"81 09 04 0C FF", Inq, ZQ418, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) { return answer(oneByte(s.picture.gain)); }},

		// --- White balance ---
		{"81 01 04 35 0v FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return setting(s.picture.wbMode, f[0]); }},
		{"81 09 04 35 FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) { return answer(oneByte(s.picture.wbMode)); }},
		{"81 01 04 43 00 00 0p 0p FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return setting(s.picture.rGain, f[0]); }},
		{"81 09 04 43 FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &,
		    State &s) { return answer(lowByteField(s.picture.rGain)); }},
		{"81 01 04 44 00 00 0p 0p FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return setting(s.picture.bGain, f[0]); }},
		{"81 09 04 44 FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &,
		    State &s) { return answer(lowByteField(s.picture.bGain)); }},
		{"81 01 04 10 05 FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) {
			 ++s.onePushCount;
			 return SimOutcome::command();
		 }},

		// --- Picture ---
		{"81 01 04 4D 00 00 00 vv FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) {
			 return setting(s.picture.brightness, f[0]);
		 }},
		{"81 09 04 4D FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &,
		    State &s) { return answer(lowByteField(s.picture.brightness)); }},
		{"81 01 04 4F 00 00 00 vv FF", Cmd, Base | D26G | ZQ418, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return setting(s.picture.hue, f[0]); }},
		{"81 09 04 4F FF", Inq, Base | D26G | ZQ418, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) { return answer(lowByteField(s.picture.hue)); }},
		{"81 01 04 49 00 00 00 vv FF", Cmd, Base | D26G | ZQ418, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) {
			 return setting(s.picture.saturation, f[0]);
		 }},
		// Saturation is reported as 00 0p 00 0q by the common models, but as one whole byte 13 by the D26G and
		// ZQ418 lines.
		{
			"81 09 04 49 FF", Inq, Base, AllFamilies,
			[](const SimCommandTable &, const Fields &, State &s) {
				const int v = s.picture.saturation;
				return answer(makeBytes({0, (v >> 4) & 0xF, 0, v & 0xF}));
			}},
		{"81 09 04 49 FF", Inq, D26G | ZQ418, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) {
			 return answer(makeBytes({0, 0, 0, s.picture.saturation}));
		 }},
		{"81 01 04 42 00 00 0p 0p FF", Cmd, Base | D26G | ZQ418, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return setting(s.picture.sharpness, f[0]); }},
		{"81 09 04 42 FF", Inq, Base | D26G | ZQ418, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) {
			 return answer(lowByteField(s.picture.sharpness));
		 }},
		// The HX7 keeps hue, saturation and sharpness in its own image-adjust block.
		{"81 01 0E 24 44 0p 0p FF", Cmd, HX7, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return setting(s.picture.hue, f[0]); }},
		{"81 09 0E 24 44 FF", Inq, HX7, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) { return answer(lowByteField(s.picture.hue)); }},
		{"81 01 0E 24 43 0p 0p FF", Cmd, HX7, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) {
			 return setting(s.picture.saturation, f[0]);
		 }},
		{"81 09 0E 24 43 FF", Inq, HX7, AllFamilies,
		 [](const SimCommandTable &, const Fields &,
		    State &s) { return answer(lowByteField(s.picture.saturation)); }},
		{"81 01 0E 24 40 0p 0p FF", Cmd, HX7, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return setting(s.picture.sharpness, f[0]); }},
		{"81 09 0E 24 40 FF", Inq, HX7, AllFamilies,
		 [](const SimCommandTable &, const Fields &,
		    State &s) { return answer(lowByteField(s.picture.sharpness)); }},
		{"81 01 04 5B 0v FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return setting(s.picture.gamma, f[0]); }},
		{"81 09 04 5B FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) { return answer(oneByte(s.picture.gamma)); }},
		{"81 01 04 66 0v FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return onOff(f[0], s.picture.flip); }},
		{"81 09 04 66 FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) { return answer(oneByte(s.picture.flip)); }},
		{"81 01 04 61 0v FF", Cmd, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &f, State &s) { return onOff(f[0], s.picture.mirror); }},
		{"81 09 04 61 FF", Inq, AllClasses, AllFamilies,
		 [](const SimCommandTable &, const Fields &, State &s) { return answer(oneByte(s.picture.mirror)); }},
	};
	QVector<Entry> compiled;
	for (const Row &row : rows)
		compiled.append({row, compile(row.pattern)});
	return compiled;
}

const QVector<Entry> &entries()
{
	static const QVector<Entry> table = buildEntries();
	return table;
}

} // namespace

QList<QByteArray> SimOutcome::replies(int commandSocket) const
{
	switch (kind) {
	case Kind::Command:
		return {makeBytes({0x90, 0x40 | commandSocket, 0xFF}), makeBytes({0x90, 0x50 | commandSocket, 0xFF})};
	case Kind::Answer:
		return {makeBytes({0x90, 0x50}) + this->bytes + makeBytes({0xFF})};
	case Kind::Error:
		return {makeBytes(
			{0x90, 0x60 | (socket & 0x0F), this->bytes.isEmpty() ? 0x02 : uint8_t(this->bytes[0]), 0xFF})};
	case Kind::Raw:
		return {this->bytes};
	case Kind::Silence:
		return {};
	}
	return {};
}

SimCommandTable::SimCommandTable(SimModel model) : playedModel(std::move(model)) {}

SimOutcome SimCommandTable::handle(const QByteArray &payload, int payloadType, SimCameraState &state,
				   bool answersAddressSet) const
{
	// A camera reads a message up to its first FF; one before the end leaves the rest a message of its own.
	if (payload.indexOf(char(0xFF)) != payload.size() - 1)
		return SimOutcome::syntaxError();
	// The address-set probe: one camera on the chain answers with the next free address (2).
	if (payload == makeBytes({0x88, 0x30, 0x01, 0xFF})) {
		if (!answersAddressSet || playedModel.family == SimIdentityFamily::ZQ418)
			return SimOutcome::silence();
		return SimOutcome::raw(makeBytes({0x88, 0x30, 0x02, 0xFF}));
	}
	const unsigned classBit = 1u << int(playedModel.linkClass);
	const unsigned familyBit = 1u << int(playedModel.family);
	Fields fields;
	for (const Entry &entry : entries()) {
		if (!(entry.row.classes & classBit) || !(entry.row.families & familyBit))
			continue;
		if (!match(entry.tokens, payload, fields))
			continue;
		// A command framed as an inquiry (or the reverse) is as wrong as a wrong byte.
		if (entry.row.type != AnyType && entry.row.type != payloadType)
			return SimOutcome::syntaxError();
		SimOutcome outcome = entry.row.apply(*this, fields, state);
		if (outcome.kind == SimOutcome::Kind::Command)
			++state.commandCount;
		else if (outcome.kind == SimOutcome::Kind::Answer)
			++state.inquiryCount;
		return outcome;
	}
	return SimOutcome::syntaxError();
}

QByteArray SimCommandTable::versionReply() const
{
	// 90 50 GG GG HH HH JJ JJ KK FF: vendor, model, ROM version, socket count. Only the HX7 carries the
	// vendor 02 01 that the HX7 identification looks for.
	const bool hx7 = playedModel.family == SimIdentityFamily::HX7;
	const int model = playedModel.versionModel;
	return makeBytes({0x90, 0x50, hx7 ? 0x02 : 0x00, hx7 ? 0x01 : 0x20, (model >> 8) & 0xFF, model & 0xFF, 0x01,
			  0x00, 0x02, 0xFF});
}

QByteArray SimCommandTable::codeReply(SimIdentityFamily family) const
{
	// 90 50, the three ASCII code characters, then filler up to the family's fixed reply size, then FF.
	int dataSize = 0;
	switch (family) {
	case SimIdentityFamily::J57:
		dataSize = 12; // 23-byte datagram: 8 header + 90 50 + 12 + FF
		break;
	case SimIdentityFamily::D26G:
		dataSize = 25; // 36-byte datagram
		break;
	case SimIdentityFamily::W38B:
		dataSize = 7; // 18-byte datagram
		break;
	default:
		return QByteArray();
	}
	QByteArray data = playedModel.idCode.toLatin1().left(3);
	data.append(QByteArray(3 - data.size(), ' '));
	// The remainder reads as a firmware version text padded with zero bytes.
	const QByteArray version("V1.00");
	data.append(version.left(dataSize - 3));
	data.append(QByteArray(dataSize - data.size(), '\0'));
	return makeBytes({0x90, 0x50}) + data + makeBytes({0xFF});
}
