#pragma once

#include "viscaIpModule.h"

// Camera link of the HX7. The camera does not answer the address-set probe and keeps hue, saturation and
// sharpness in a vendor command group, written and read back as two nibbles.
class HX7ViscaIPModule : public viscaIpModule {
	Q_OBJECT

public:
	HX7ViscaIPModule();

	bool onConnectToCamera(QString ip, int port) override;
	bool isUdpSocketOK() override;
	void setHue(int value) override;
	int getHue() override;
	void setSaturation(int value) override;
	int getSaturation() override;
	void setSharpness(int value) override;
	int getSharpness() override;
	void setZoomDirect(int position) override;
	// The HX7 reports its zoom position at once, without the settling pause of the other models.
	virtual int getZoomDirect();
};
