#pragma once

#include "scenes/SceneSource.h"

#include <obs-frontend-api.h>

#include <atomic>
#include <mutex>
#include <vector>

struct calldata;

// OBS's scenes through the front-end API: the program scene (told when the transition to it starts, through the
// "transition_start" signal of the transition on the program's output channel, so that a camera starts moving with
// the cut rather than when a fade has ended; OBS's scene event for it later is not told again), the preview scene
// while Studio Mode is on, the list
// of scenes, the scene collection and when it loads, and renames of scenes and other sources through libobs's global
// "source_rename" signal, which may fire on any thread and is passed to the UI thread queued. What the program
// shows is followed through the "item_add", "item_remove" and "item_visible" signals of the program scene and of
// every scene and group shown in it, connected anew whenever that tree may have changed. Everything is disconnected
// when OBS exits (the front-end API goes right after) or when this object goes, whichever is first, so nothing fires
// into a deleted object. Lives on the UI thread.
class ObsSceneSource : public SceneSource {
	Q_OBJECT

public:
	explicit ObsSceneSource(QObject *parent = nullptr);
	~ObsSceneSource() override;

	QStringList sceneNames() const override;
	QStringList videoSourceNames() const override;
	QStringList programSourceNames() const override;

private:
	static void onFrontendEvent(enum obs_frontend_event event, void *self);
	static void onSourceRenamed(void *self, calldata *params);
	static void onTransitionStarted(void *self, calldata *params);
	static void onChannelChanged(void *self, calldata *params);
	static void onProgramItemsChanged(void *self, calldata *params);
	void announceProgram(const QString &scene);
	void announceRename(const QString &from, const QString &to, bool scene);
	// The program scene, as a reference of the caller's; null when there is none.
	obs_source_t *programSceneRef() const;
	// Tells programSourcesChanged once for any number of calls before the UI thread gets to it, and follows the
	// items of the program's scenes as they are then. Safe from any thread.
	void programMayHaveChanged();
	void watchProgram();
	void unwatchProgram();
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
	std::atomic<bool> programCheckQueued{false};
	// The scenes and groups whose item signals are connected; weak, so that a scene removed meanwhile goes.
	std::vector<obs_weak_source_t *> watchedScenes;
};
