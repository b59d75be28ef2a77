#pragma once

#include "viscaIpModule.h"

// Camera link of the D26G family (D26G, D28G, HX9 and their variants), whose speed settings live in a vendor
// command group and whose saturation answer is a whole byte.
class D26GViscaIPModule : public viscaIpModule {
	Q_OBJECT

public:
	D26GViscaIPModule();

	int getSaturation() override;
	void setPTZspeedComp(int value) override;
	void setPresetSpeed(int speed) override;
};
