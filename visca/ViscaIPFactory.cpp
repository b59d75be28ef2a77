#include "ViscaIPFactory.h"

#include "D26GViscaIPModule.h"
#include "HX7ViscaIPModule.h"
#include "ViscaLog.h"
#include "ZQ418ViscaIPModule.h"
#include "camera/CameraFamily.h"

viscaIpModule *ViscaIPFactory::viscaIPModule(QString model)
{
	switch (CameraFamily::of(model).link) {
	case CameraFamily::Link::D26G:
		qCDebug(lcLink, "model %s", qUtf8Printable(model));
		return new D26GViscaIPModule();
	case CameraFamily::Link::HX7:
		return new HX7ViscaIPModule();
	case CameraFamily::Link::ZQ418:
		return new ZQ418ViscaIPModule();
	case CameraFamily::Link::Standard:
		break;
	}
	return new viscaIpModule();
}
