#pragma once

#include "scenes/ScenePresetTable.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class CameraDirector;
class SceneSource;

// Recalls the preset linked to a scene of the current scene collection when the scene goes to program, or to
// preview in Studio Mode, on the linked slot's camera (whatever the window is doing), and carries the links along
// when OBS renames a scene or the collection. While a scene collection loads, at OBS's start too, OBS sets its
// scenes up: nothing is recalled then, only when the operator switches. The links are read again whenever the
// settings change, so hand edits and the dialog count at once.
class ScenePresetLinker : public QObject {
	Q_OBJECT

public:
	ScenePresetLinker(SceneSource *scenes, CameraDirector *director, QObject *parent = nullptr);
	// Whether a slot's camera is live on program: a scene going to preview does not recall its preset then.
	void setLiveCheck(std::function<bool(int slot)> isLive) { liveCheck = std::move(isLive); }

private:
	void onScene(const QString &scene, ScenePresetTable::Moment on);
	void onRenamed(const QString &from, const QString &to);
	void onCollectionLoaded(const QString &collection);
	void onCollectionRenamed(const QString &from, const QString &to);
	// The links of the current scene collection, made again only when the settings or the collection changed.
	const ScenePresetTable &links();

	QPointer<SceneSource> scenes;
	CameraDirector *const director;
	std::optional<ScenePresetTable> table;
	quint64 tableVersion = 0;
	QString tableCollection;
	std::function<bool(int slot)> liveCheck;
};
