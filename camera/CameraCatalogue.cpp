#include "camera/CameraCatalogue.h"

#include <iterator>

namespace CameraCatalogue {

namespace {

using Id = Identification;

// scripts/gen-profiles.py reads the rows below, one a line, to know which profiles to write: keep each row on one
// line in this shape. The default model comes first.
// clang-format off
constexpr Model kModels[] = {
	{"KBA", "NX-B93K", Id::J57, Link::Standard, true},
	{"", "NX-HX7", Id::HX7, Link::HX7, true},
	{"543", "NX-ZQ418", Id::ZQ418, Link::ZQ418, false},
	{"610", "NX-ZQ418S", Id::ZQ418, Link::ZQ418, false},
	{"KDA", "NX-D26G", Id::D26G, Link::D26G, false},
	{"KDB", "NX-D26GS", Id::D26G, Link::D26G, false},
	{"KDC", "NX-D28G", Id::D26G, Link::D26G, true},
	{"KDD", "NX-HX9", Id::D26G, Link::D26G, true},
	{"KDE", "NX-D28G4K", Id::D26G, Link::D26G, true},
	{"KJA", "NX-J57", Id::J57, Link::Standard, true},
	{"KJB", "NX-J57S", Id::J57, Link::Standard, true},
	{"KJC", "NX-J57U", Id::J57, Link::Standard, true},
	{"KJD", "NX-J20", Id::J57, Link::Standard, true},
	{"KJE", "NX-J30", Id::J57, Link::Standard, true},
	{"KWA", "NX-W38B", Id::W38B, Link::Standard, true},
	{"KWB", "NX-W38BS", Id::W38B, Link::Standard, true},
	{"KWC", "NX-W20", Id::W38B, Link::Standard, true},
	{"KWD", "NX-W12", Id::W38B, Link::Standard, true},
	{"KBB", "NX-B93", Id::J57, Link::Standard, true},
	{"KBC", "NX-B60", Id::J57, Link::Standard, true},
	{"KBD", "NX-B60K", Id::J57, Link::Standard, true},
	{"KBE", "NX-B30", Id::J57, Link::Standard, true},
	{"KFA", "NX-F64", Id::J57, Link::Standard, true},
	{"KFB", "NX-F64K", Id::J57, Link::Standard, true},
	{"KHA", "NX-H12", Id::W38B, Link::Standard, true},
	{"KHB", "NX-H20", Id::W38B, Link::Standard, true},
};
// clang-format on

} // namespace

const Model *begin()
{
	return std::begin(kModels);
}

const Model *end()
{
	return std::end(kModels);
}

const Model &defaultModel()
{
	return kModels[0];
}

const Model *byCode(const std::string &code)
{
	if (code.empty())
		return nullptr;
	for (const Model &model : kModels)
		if (code == model.code)
			return &model;
	return nullptr;
}

const Model *byCode(Identification family, const std::string &code)
{
	const Model *model = byCode(code);
	return model && model->identification == family ? model : nullptr;
}

const Model *firstOf(Identification family)
{
	for (const Model &model : kModels)
		if (model.identification == family)
			return &model;
	return nullptr;
}

const Model *endingText(const QString &text)
{
	const Model *found = nullptr;
	for (const Model &model : kModels) {
		const QLatin1String name(model.name);
		if (text.endsWith(name, Qt::CaseSensitive) && (!found || name.size() > int(qstrlen(found->name))))
			found = &model;
	}
	return found;
}

} // namespace CameraCatalogue

CameraFamily CameraFamily::of(const QString &model)
{
	const CameraCatalogue::Model *listed = CameraCatalogue::endingText(model);
	if (!listed)
		return {Link::Standard, true};
	return {listed->link, listed->speedCompensationSwitch};
}
