#pragma once

#include "ViscaReply.h"

#include <QByteArray>

#include <vector>

// One inquiry of the camera link: the VISCA message that asks, and where the answer keeps the value. Every getter of
// every model variant reads its value through one of these, so that the decoding of each can be checked against
// any datagram without a camera.
struct ViscaInquiry {
	const char *name;    // the getter that sends it, naming the inquiry in checks
	const char *message; // the VISCA payload as hex bytes, as it travels
	ViscaReply::Layout layout;

	QByteArray payload() const { return QByteArray::fromHex(message); }
	// The value the reply carries, or -1 when it is no answer in this inquiry's layout.
	int decode(const QByteArray &reply) const { return ViscaReply::value(reply, layout); }
};

namespace ViscaInquiries {

using Layout = ViscaReply::Layout;

// --- Common to every model ---
inline constexpr ViscaInquiry power{"isPowerOK", "81 09 04 00 FF", Layout::Nibble};
inline constexpr ViscaInquiry zoomPosition{"getZoomDirect", "81 09 04 47 FF", Layout::Position};
inline constexpr ViscaInquiry focusPosition{"getFocusDirect", "81 09 04 48 FF", Layout::Position};
inline constexpr ViscaInquiry focusMode{"getAfMode", "81 09 04 38 FF", Layout::Nibble};
inline constexpr ViscaInquiry aeMode{"getAeMode", "81 09 04 39 FF", Layout::Nibble};
inline constexpr ViscaInquiry shutter{"getShutterDirect", "81 09 04 4A FF", Layout::TwoNibbles};
inline constexpr ViscaInquiry iris{"getIrisDirect", "81 09 04 4B FF", Layout::TwoNibbles};
inline constexpr ViscaInquiry gain{"getAeGain", "81 09 04 4C FF", Layout::TwoNibbles};
inline constexpr ViscaInquiry wbMode{"getWBmode", "81 09 04 35 FF", Layout::Nibble};
inline constexpr ViscaInquiry redGain{"getRGain", "81 09 04 43 FF", Layout::TwoNibbles};
inline constexpr ViscaInquiry blueGain{"getBGain", "81 09 04 44 FF", Layout::TwoNibbles};
inline constexpr ViscaInquiry brightness{"getBrightness", "81 09 04 4D FF", Layout::TwoNibbles};
inline constexpr ViscaInquiry hue{"getHue", "81 09 04 4F FF", Layout::TwoNibbles};
inline constexpr ViscaInquiry saturation{"getSaturation", "81 09 04 49 FF", Layout::SplitNibbles};
inline constexpr ViscaInquiry sharpness{"getSharpness", "81 09 04 42 FF", Layout::TwoNibbles};
inline constexpr ViscaInquiry gamma{"getGamma", "81 09 04 5B FF", Layout::Nibble};
inline constexpr ViscaInquiry flip{"getFlip", "81 09 04 66 FF", Layout::Nibble};
inline constexpr ViscaInquiry mirror{"getMirror", "81 09 04 61 FF", Layout::Nibble};
inline constexpr ViscaInquiry imageMode{"getImageMode", "81 09 04 3F 04 FF", Layout::Nibble};

// --- D26G and ZQ418 families: saturation as one whole byte ---
inline constexpr ViscaInquiry saturationByte{"getSaturation (whole byte)", "81 09 04 49 FF", Layout::ByteAt13};

// --- HX7: hue, saturation and sharpness in the vendor image-adjust block ---
inline constexpr ViscaInquiry hx7Hue{"HX7 getHue", "81 09 0E 24 44 FF", Layout::TwoNibbles};
inline constexpr ViscaInquiry hx7Saturation{"HX7 getSaturation", "81 09 0E 24 43 FF", Layout::TwoNibbles};
inline constexpr ViscaInquiry hx7Sharpness{"HX7 getSharpness", "81 09 0E 24 40 FF", Layout::TwoNibbles};

// --- ZQ418 family: gain under its own inquiry, as one whole byte ---
inline constexpr ViscaInquiry zq418Gain{"ZQ418 getAeGain", "81 09 04 0C FF", Layout::ByteAt10};

// Every inquiry above, for the checks that go through all of them.
const std::vector<const ViscaInquiry *> &all();

} // namespace ViscaInquiries
