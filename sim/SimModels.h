#pragma once

#include <QList>
#include <QString>

// Which identification inquiry a camera answers with its ID code (the code itself travels in the reply).
enum class SimIdentityFamily {
	HX7,   // only the standard version inquiry, vendor field 02 01
	J57,   // 81 09 00 02 00 05 FF, 23-byte reply
	D26G,  // 81 01 02 03 FF, 36-byte reply
	W38B,  // 81 09 00 02 00 03 FF, 18-byte reply
	ZQ418, // only the standard version inquiry, code in the model field; ignores the address-set probe
};

// The command dialect the camera speaks: the few messages where models differ from the common set.
enum class SimLinkClass {
	Base,
	D26G,
	HX7,
	ZQ418,
};

struct SimModel {
	QString name;   // "NX-B93K"
	QString idCode; // three ASCII characters for the code families; "543"/"610" for ZQ418; empty for HX7
	SimIdentityFamily family = SimIdentityFamily::J57;
	SimLinkClass linkClass = SimLinkClass::Base;
	bool listed = true;       // false for a name that is not in the product line (answers an unlisted code)
	quint16 versionModel = 0; // model field of the standard version reply
};

namespace SimModels {

// The code an unlisted model reports, guaranteed not to be in the product line's table.
inline const char *unlistedCode()
{
	return "ZZZ";
}

// Every model of the product line, in table order (row 0 is the default model).
const QList<SimModel> &all();

// The model called `name` (exact match first, then ignoring case). A name that is not in the product line gives
// a J57-family camera with the base command set that reports the unlisted code, so identification yields "Unknown".
SimModel byName(const QString &name);

QString familyName(SimIdentityFamily family);
QString linkClassName(SimLinkClass linkClass);

} // namespace SimModels
