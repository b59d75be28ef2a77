#include "SimCameraState.h"

bool SimCameraState::Picture::operator==(const Picture &o) const
{
	return zoom == o.zoom && focus == o.focus && autoFocus == o.autoFocus && aeMode == o.aeMode &&
	       shutter == o.shutter && iris == o.iris && gain == o.gain && wbMode == o.wbMode && rGain == o.rGain &&
	       bGain == o.bGain && brightness == o.brightness && hue == o.hue && saturation == o.saturation &&
	       sharpness == o.sharpness && gamma == o.gamma && flip == o.flip && mirror == o.mirror &&
	       imageMode == o.imageMode;
}
