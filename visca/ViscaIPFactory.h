#pragma once

#include <QString>

class viscaIpModule;

// Chooses the camera link class that suits a model name.
class ViscaIPFactory {
public:
	// A new link without a parent; the caller owns it. Names are matched case-sensitively, first rule first:
	// "26G", "28G" or "HX9" -> D26G link; "NX-HX7" -> HX7 link; "ZQ418" -> ZQ418 link; otherwise the base link.
	static viscaIpModule *viscaIPModule(QString model);
};
