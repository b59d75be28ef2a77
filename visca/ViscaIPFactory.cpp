#include "ViscaIPFactory.h"

#include "D26GViscaIPModule.h"
#include "HX7ViscaIPModule.h"
#include "ViscaLog.h"
#include "ZQ418ViscaIPModule.h"
#include "camera/CameraFamily.h"

std::unique_ptr<viscaIpModule> ViscaIPFactory::viscaIPModule(QString model)
{
	switch (CameraFamily::of(model).link) {
	case CameraFamily::Link::D26G:
		qCDebug(lcLink, "model %s", qUtf8Printable(model));
		return std::make_unique<D26GViscaIPModule>();
	case CameraFamily::Link::HX7:
		return std::make_unique<HX7ViscaIPModule>();
	case CameraFamily::Link::ZQ418:
		return std::make_unique<ZQ418ViscaIPModule>();
	case CameraFamily::Link::Standard:
		break;
	}
	return std::make_unique<viscaIpModule>();
}
