#pragma once

#include "scenes/ScenePresetTable.h"

#include <QObject>

class CameraDirector;
class SceneSource;

// Recalls the preset linked to a scene when the scene goes to program, or to preview in Studio Mode, on the
// linked slot's camera (whatever the window is doing), and carries the links along when OBS renames a scene. The
// links are read from the settings file at every event, so hand edits and the dialog count at once.
class ScenePresetLinker : public QObject {
	Q_OBJECT

public:
	ScenePresetLinker(SceneSource *scenes, CameraDirector *director, QObject *parent = nullptr);

private:
	void onScene(const QString &scene, ScenePresetTable::Moment on);
	void onRenamed(const QString &from, const QString &to);

	CameraDirector *const director;
};
