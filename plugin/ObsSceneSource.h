#pragma once

#include "scenes/SceneSource.h"

#include <obs-frontend-api.h>

#include <mutex>

struct calldata;

// OBS's scenes through the front-end API: the program scene (told when the transition to it starts, through the
// "transition_start" signal of the transition on the program's output channel, so that a camera starts moving with
// the cut rather than when a fade has ended; OBS's scene event for it later is not told again), the preview scene
// while Studio Mode is on, the list
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
	static void onTransitionStarted(void *self, calldata *params);
	static void onChannelChanged(void *self, calldata *params);
	void announceProgram(const QString &scene);
	// Follows the transition that takes the program to its next scene (OBS swaps it when the operator picks
	// another, and for each quick transition); null follows none.
	void followTransition(obs_source_t *transition);
	void handle(enum obs_frontend_event event);
	void detach();

	bool attached = false;
	bool started = false; // OBS has finished loading at its start
	QString programScene; // the program scene last told
	std::mutex transitionMutex;
	obs_source_t *followedTransition = nullptr; // a reference of ours, under transitionMutex
};
