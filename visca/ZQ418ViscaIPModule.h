#pragma once

#include "viscaIpModule.h"

// Camera link of the ZQ418 family, which takes zoom positions without a speed byte, sets the preset speed
// with a short command and reports saturation and gain as whole bytes.
class ZQ418ViscaIPModule : public viscaIpModule {
	Q_OBJECT

public:
	ZQ418ViscaIPModule();

	int getSaturation() override;
	int getAeGain() override;
	void setZoomDirect(int position) override;
	void setPresetSpeed(int speed) override;
};
