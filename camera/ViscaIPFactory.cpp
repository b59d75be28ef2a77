#include "camera/ViscaIPFactory.h"

#include "camera/CameraCatalogue.h"
#include "visca/D26GViscaIPModule.h"
#include "visca/HX7ViscaIPModule.h"
#include "visca/ViscaLog.h"
#include "visca/ZQ418ViscaIPModule.h"

std::unique_ptr<viscaIpModule> ViscaIPFactory::viscaIPModule(QString model)
{
	switch (CameraFamily::of(model).link) {
	case CameraCatalogue::Link::D26G:
		qCDebug(lcLink, "model %s", qUtf8Printable(model));
		return std::make_unique<D26GViscaIPModule>();
	case CameraCatalogue::Link::HX7:
		return std::make_unique<HX7ViscaIPModule>();
	case CameraCatalogue::Link::ZQ418:
		return std::make_unique<ZQ418ViscaIPModule>();
	case CameraCatalogue::Link::Standard:
		break;
	}
	return std::make_unique<viscaIpModule>();
}
