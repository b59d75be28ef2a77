#pragma once

#include "scenes/ScenePresetTable.h"

#include <QObject>
#include <QPointer>

#include <optional>

class CameraPool;
class SceneSource;

// Recalls the preset linked to a scene of the current scene collection when the scene goes to program (at the
// transition's start), or to preview in Studio Mode, on the linked slot's camera (whatever the window is doing),
// and carries the links along when OBS renames a scene or the collection. A camera live on program is never
// recalled: its slot's door holds the recall back and the log says why. While a scene collection loads, at OBS's
// start too, OBS sets its scenes up: nothing is recalled then, only when the operator switches. The links are read
// again whenever the settings change, so hand edits and the dialog count at once.
class ScenePresetLinker : public QObject {
	Q_OBJECT

public:
	ScenePresetLinker(SceneSource *scenes, CameraPool *pool, QObject *parent = nullptr);

private:
	void onScene(const QString &scene, ScenePresetTable::Moment on);
	void onRenamed(const QString &from, const QString &to);
	void onCollectionLoaded(const QString &collection);
	void onCollectionRenamed(const QString &from, const QString &to);
	// The links of the current scene collection, made again only when the settings or the collection changed.
	const ScenePresetTable &links();

	QPointer<SceneSource> scenes;
	CameraPool *const pool;
	std::optional<ScenePresetTable> table;
	quint64 tableVersion = 0;
	QString tableCollection;
};
