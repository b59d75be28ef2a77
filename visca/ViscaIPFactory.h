#pragma once

#include <QString>

class viscaIpModule;

// Chooses the camera link class that suits a model name.
class ViscaIPFactory {
public:
	// A new link without a parent, of the class the model's family (camera/CameraFamily) needs; the caller owns
	// it.
	static viscaIpModule *viscaIPModule(QString model);
};
