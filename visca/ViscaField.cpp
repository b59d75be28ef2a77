#include "ViscaField.h"

#include <QDebug>

#include <algorithm>

int ViscaField::fit(long long value, const char *operation) const
{
	const long long fitted = std::clamp(value, min, max);
	if (fitted != value)
		qDebug().nospace() << operation << ": " << name << " " << value << " is outside " << min << ".." << max
				   << ", sent as " << fitted;
	return int(fitted);
}
