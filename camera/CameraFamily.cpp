#include "camera/CameraFamily.h"

namespace {

using Link = CameraFamily::Link;

// First match wins, so the D26 models come before the other models of their link.
constexpr CameraFamily kFamilies[] = {
	// NX-D26G and NX-D26GS: no speed compensation switch.
	{"D26", {"NX-D26", nullptr, nullptr}, Link::D26G, false},
	// NX-D28G, NX-D28G4K and NX-HX9 share the D26 dialect.
	{"D28/HX9", {"26G", "28G", "HX9"}, Link::D26G, true},
	{"HX7", {"NX-HX7", nullptr, nullptr}, Link::HX7, true},
	// NX-ZQ418 and NX-ZQ418S: no speed compensation switch.
	{"ZQ418", {"ZQ418", nullptr, nullptr}, Link::ZQ418, false},
};

constexpr CameraFamily kStandard{"standard", {nullptr, nullptr, nullptr}, Link::Standard, true};

bool belongs(const QString &model, const CameraFamily &family)
{
	for (const char *part : family.nameParts)
		if (part && model.contains(QLatin1String(part), Qt::CaseSensitive))
			return true;
	return false;
}

} // namespace

const CameraFamily &CameraFamily::of(const QString &model)
{
	for (const CameraFamily &family : kFamilies)
		if (belongs(model, family))
			return family;
	return kStandard;
}
