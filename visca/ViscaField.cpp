#include "ViscaField.h"

#include "ViscaLog.h"

#include <algorithm>

int ViscaField::fit(long long value, const char *operation) const
{
	const long long fitted = std::clamp(value, min, max);
	if (fitted != value)
		qCDebug(lcLink).nospace() << operation << ": " << name << " " << value << " is outside " << min << ".."
					  << max << ", sent as " << fitted;
	return int(fitted);
}
