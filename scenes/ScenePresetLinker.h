#pragma once

#include "scenes/ScenePresetTable.h"

#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <atomic>
#include <memory>

class CameraPool;
class SceneSource;

// Recalls the preset linked to a scene of the current scene collection when the scene goes to program (at the
// transition's start), or to preview in Studio Mode, on the linked slot's camera (whatever the window is doing),
// and carries the links along when OBS renames a scene or the collection. A camera live on program is never
// recalled: its slot's door holds the recall back and the log says why. While a scene collection loads, at OBS's
// start too, OBS sets its scenes up: nothing is recalled then, only when the operator switches. The links are read
// again whenever the settings change, so hand edits and the dialog count at once.
//
// A scene switch runs on OBS's UI thread and must not hold it: the links are looked up in a table made beforehand.
// A table of up to kLinksAtOnce links is made at once when the settings changed; a larger one on a thread of the
// linker's own, while the table before it serves. The renames are written by the settings' writer thread, several
// together in one write when they come quickly.
class ScenePresetLinker : public QObject {
	Q_OBJECT

public:
	// Some 5 ms of work on a slow machine.
	static constexpr int kLinksAtOnce = 5000;

	ScenePresetLinker(SceneSource *scenes, CameraPool *pool, QObject *parent = nullptr);
	// Waits for a table being made.
	~ScenePresetLinker() override;

signals:
	// The links in use were made anew from the settings.
	void linksChanged();

private:
	struct Edit;
	struct Edits;

	void onScene(const QString &scene, ScenePresetTable::Moment on);
	void onCollectionLoaded(const QString &collection);
	void edit(const Edit &edit);
	// The links of the current scene collection, made again when the settings or the collection changed; null
	// while the first table of a large file is being made.
	const ScenePresetTable *links();
	// Puts a table in use unless it is older than the one in use; the one that goes is freed off the UI thread.
	void take(std::shared_ptr<const ScenePresetTable> made, quint64 version, const QString &collection);

	QPointer<SceneSource> scenes;
	CameraPool *const pool;
	std::shared_ptr<const ScenePresetTable> table;
	quint64 tableVersion = 0;
	QString tableCollection;
	// The table last asked of `maker`, which makes one at a time.
	quint64 makingVersion = 0;
	QString makingCollection;
	QThreadPool maker;
	std::shared_ptr<std::atomic<quint64>> newest = std::make_shared<std::atomic<quint64>>(0);
	std::shared_ptr<Edits> edits;
};
