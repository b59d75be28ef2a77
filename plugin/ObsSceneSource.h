#pragma once

#include "scenes/SceneSource.h"

#include <obs-frontend-api.h>

struct calldata;

// OBS's scenes through the front-end API: the program scene, the preview scene while Studio Mode is on, the list
// of scenes, the scene collection and when it loads, and renames through libobs's global "source_rename" signal,
// which may fire on any thread and is passed to the UI thread queued. Everything is disconnected when OBS exits (the
// front-end API goes right after) or when this object goes, whichever is first, so nothing fires into a deleted object.
// Lives on the UI thread.
class ObsSceneSource : public SceneSource {
	Q_OBJECT

public:
	explicit ObsSceneSource(QObject *parent = nullptr);
	~ObsSceneSource() override;

	QStringList sceneNames() const override;

private:
	static void onFrontendEvent(enum obs_frontend_event event, void *self);
	static void onSourceRenamed(void *self, calldata *params);
	void handle(enum obs_frontend_event event);
	void detach();

	bool attached = false;
	bool started = false; // OBS has finished loading at its start
};
