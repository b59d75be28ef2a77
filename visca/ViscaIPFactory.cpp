#include "ViscaIPFactory.h"

#include "D26GViscaIPModule.h"
#include "HX7ViscaIPModule.h"
#include "ViscaLog.h"
#include "ZQ418ViscaIPModule.h"

viscaIpModule *ViscaIPFactory::viscaIPModule(QString model)
{
	if (model.contains(QLatin1String("26G")) || model.contains(QLatin1String("28G")) ||
	    model.contains(QLatin1String("HX9"))) {
		qCDebug(lcLink, "model %s", qUtf8Printable(model));
		return new D26GViscaIPModule();
	}
	if (model.contains(QLatin1String("NX-HX7")))
		return new HX7ViscaIPModule();
	if (model.contains(QLatin1String("ZQ418")))
		return new ZQ418ViscaIPModule();
	return new viscaIpModule();
}
