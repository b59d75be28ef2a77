#pragma once

#include <QString>

#include <string>

// The supported camera models, one row each: what identification reports for the model, the profile it reads,
// the camera link that speaks its dialect, and the operator switches it offers. Identification (CameraSelect,
// CameraParse), the link factory (ViscaIPFactory) and the profile generator (scripts/gen-profiles.py) all read
// this one table, so a new model is one new row.
namespace CameraCatalogue {

// Which identification inquiry a model answers with its code.
enum class Identification { HX7, J57, D26G, W38B, ZQ418 };

// The camera link class that speaks a model's dialect.
enum class Link { Standard, D26G, HX7, ZQ418 };

struct Model {
	// The code the camera reports ("KJA"; the ZQ418 digits "543"); empty when the identification reply names
	// the model without a code (the HX7).
	const char *code;
	// The name used by the link factory, the profile file name and the user interface.
	const char *name;
	Identification identification;
	Link link;
	// Whether the pan/tilt limit dialog offers the pan/tilt speed compensation switch.
	bool speedCompensationSwitch;
};

// Every model, the default model first; `count` rows.
const Model *begin();
const Model *end();

// The model a camera without a known code is taken for.
const Model &defaultModel();

// The first model whose code is `code` exactly (case-sensitive), or null. An empty code names no model.
const Model *byCode(const std::string &code);

// The first model of an identification family whose code is `code`, or null.
const Model *byCode(Identification family, const std::string &code);

// The first model of an identification family, or null (the HX7 family is one model).
const Model *firstOf(Identification family);

// The model whose name ends `text` (a model name, or a settings key prefix that ends with one), the longest
// such name when several do; null when none does.
const Model *endingText(const QString &text);

} // namespace CameraCatalogue

// What the catalogue says about a model name, with the standard link and every switch for a name it does not
// list: the link class it needs and the operator switches it offers.
struct CameraFamily {
	using Link = CameraCatalogue::Link;

	Link link;
	bool speedCompensationSwitch;

	// The family of a model name, or of any text that ends with one (a settings key prefix).
	static CameraFamily of(const QString &model);
};
