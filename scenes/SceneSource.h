#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// Where the scene-linked presets hear of OBS's scenes. The host's scenes are reached in plugin/ through the
// front-end API; everything else knows only this interface, so it runs and is tested without a host. Signals
// arrive on the UI thread.
class SceneSource : public QObject {
	Q_OBJECT

public:
	using QObject::QObject;

	// The scenes of the current scene collection, in OBS's order.
	virtual QStringList sceneNames() const = 0;

signals:
	void programSceneChanged(const QString &scene);
	// Only while Studio Mode is on: the scene that goes to program at the next cut.
	void previewSceneChanged(const QString &scene);
	void sceneRenamed(const QString &from, const QString &to);
	// Scenes came or went, or another scene collection was loaded.
	void scenesChanged();
};
