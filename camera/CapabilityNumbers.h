#pragma once

#include <cstdint>

// A "max"/"min" pair of numbers, at the width of the queries that answer them.
template <typename T>
struct CapabilityRange {
	T max = 0;
	T min = 0;
};

// The numbers of a capability profile, converted from its hexadecimal text once, when the capability object is made:
// a field the profile leaves out, marks "NOT_SUPPORT" or fills with something other than a hexadecimal number holds
// 0, every other one its value cut to the width of its query.
struct CapabilityNumbers {
	CapabilityRange<uint32_t> zoom, focus; // direct positions
	CapabilityRange<uint8_t> zoomSpeed, focusSpeed;
	CapabilityRange<uint8_t> redGain, blueGain, sharpness, saturation, hue;
	CapabilityRange<uint8_t> panSpeed, tiltSpeed;
	CapabilityRange<uint32_t> panRight, panLeft, tiltUp, tiltDown;
	CapabilityRange<uint8_t> gamma; // the largest and smallest of the gamma list's values
};
