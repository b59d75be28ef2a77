#pragma once

#include <QString>

// What the code knows about a family of camera models beyond its profile file: the camera link it needs and the
// operator switches it offers. One table in CameraFamily.cpp holds every family; a model belongs to the first family
// one of whose name parts its name contains (case-sensitive), and to the standard family otherwise.
struct CameraFamily {
	// The camera link class that speaks the family's dialect.
	enum class Link { Standard, D26G, HX7, ZQ418 };

	const char *name;
	// Parts of the model names of the family; unused places are null.
	const char *nameParts[3];
	Link link;
	// Whether the pan/tilt limit dialog offers the pan/tilt speed compensation switch.
	bool speedCompensationSwitch;

	// The family of a model name, or of any text that ends with one (a settings key prefix).
	static const CameraFamily &of(const QString &model);
};
