#include "ViscaInquiry.h"

namespace ViscaInquiries {

const std::vector<const ViscaInquiry *> &all()
{
	static const std::vector<const ViscaInquiry *> inquiries{
		&power,     &zoomPosition,   &focusPosition, &focusMode,     &aeMode,       &shutter,
		&iris,      &gain,           &wbMode,        &redGain,       &blueGain,     &brightness,
		&hue,       &saturation,     &sharpness,     &gamma,         &flip,         &mirror,
		&imageMode, &saturationByte, &hx7Hue,        &hx7Saturation, &hx7Sharpness, &zq418Gain,
	};
	return inquiries;
}

} // namespace ViscaInquiries
