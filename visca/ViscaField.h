#pragma once

// The legal range of one parameter field of a VISCA message. Every value is clamped to its field before it is
// framed, whoever the caller: no message may carry the terminator FF before its end, a wider number where a nibble
// belongs, or a speed that changes the command's meaning (zoom speed 16 turns 2p "tele" into 3p "wide").
struct ViscaField {
	const char *name;
	long long min;
	long long max;

	// The value inside the field; a value outside it is clamped, with one debug line naming the operation.
	int fit(long long value, const char *operation) const;
};

namespace ViscaFields {

// Speeds, in the ranges the protocol gives them.
inline constexpr ViscaField panSpeed{"pan speed", 0x01, 0x18};
inline constexpr ViscaField tiltSpeed{"tilt speed", 0x01, 0x17};
inline constexpr ViscaField zoomSpeed{"zoom speed", 0x0, 0x7};
inline constexpr ViscaField focusSpeed{"focus speed", 0x0, 0x7};
inline constexpr ViscaField presetSpeed{"preset speed", 0x01, 0x18};
// Memory (preset) numbers.
inline constexpr ViscaField memory{"memory number", 0x00, 0x7F};
// Field widths: a nibble in a byte of its own (modes, on/off values), 0p 0q, a whole byte, 0p 0q 0r 0s.
inline constexpr ViscaField nibble{"value", 0x0, 0xF};
inline constexpr ViscaField twoNibbles{"value", 0x00, 0xFF};
inline constexpr ViscaField byte{"value", 0x00, 0xFE};
inline constexpr ViscaField position{"position", 0x0000, 0xFFFF};

} // namespace ViscaFields
