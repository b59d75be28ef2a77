#pragma once

#include <QString>

#include <memory>

class viscaIpModule;

// Chooses the camera link class that suits a model name.
class ViscaIPFactory {
public:
	// A new link without a parent, of the class the model's catalogue row (camera/CameraCatalogue) names.
	static std::unique_ptr<viscaIpModule> viscaIPModule(QString model);
};
