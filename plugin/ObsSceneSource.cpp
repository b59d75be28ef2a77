#include "plugin/ObsSceneSource.h"

#include "plugin/PluginLog.h"

#include <obs.h>

#include <QMetaObject>

namespace {

QString releasedSceneName(obs_source_t *scene)
{
	if (!scene)
		return QString();
	const QString name = QString::fromUtf8(obs_source_get_name(scene));
	obs_source_release(scene);
	return name;
}

QString currentCollectionName()
{
	char *name = obs_frontend_get_current_scene_collection();
	const QString collection = QString::fromUtf8(name);
	bfree(name);
	return collection;
}

} // namespace

ObsSceneSource::ObsSceneSource(QObject *parent) : SceneSource(parent)
{
	// Made at module load, before OBS loads the scene collection: its scene changes until FINISHED_LOADING are
	// OBS setting the collection up.
	beginLoading();
	obs_frontend_add_event_callback(&ObsSceneSource::onFrontendEvent, this);
	signal_handler_connect(obs_get_signal_handler(), "source_rename", &ObsSceneSource::onSourceRenamed, this);
	// OBS's transitions are private sources, which signal only on their own handlers.
	signal_handler_connect(obs_get_signal_handler(), "channel_change", &ObsSceneSource::onChannelChanged, this);
	attached = true;
}

ObsSceneSource::~ObsSceneSource()
{
	detach();
}

QStringList ObsSceneSource::sceneNames() const
{
	QStringList names;
	char **list = obs_frontend_get_scene_names();
	for (char **name = list; name && *name; ++name)
		names << QString::fromUtf8(*name);
	bfree(list);
	return names;
}

void ObsSceneSource::onFrontendEvent(enum obs_frontend_event event, void *self)
{
	static_cast<ObsSceneSource *>(self)->handle(event);
}

void ObsSceneSource::handle(enum obs_frontend_event event)
{
	switch (event) {
	case OBS_FRONTEND_EVENT_SCENE_CHANGED:
		announceProgram(releasedSceneName(obs_frontend_get_current_scene()));
		break;
	case OBS_FRONTEND_EVENT_PREVIEW_SCENE_CHANGED:
		// Without Studio Mode the preview is the program; only a real preview scene counts.
		if (obs_frontend_preview_program_mode_active())
			emit previewSceneChanged(releasedSceneName(obs_frontend_get_current_preview_scene()));
		break;
	case OBS_FRONTEND_EVENT_SCENE_LIST_CHANGED:
		emit scenesChanged();
		break;
	// OBS 29 starts by loading the collection, sending SCENE_CHANGED and PREVIEW_SCENE_CHANGED, and then
	// FINISHED_LOADING, with no collection event; later versions send SCENE_COLLECTION_CHANGED before those scene
	// events at start, which must not end the start. An operator's change is CHANGING, the collection's scene
	// events, CHANGED.
	case OBS_FRONTEND_EVENT_SCENE_COLLECTION_CHANGING:
		beginLoading();
		break;
	case OBS_FRONTEND_EVENT_SCENE_COLLECTION_CHANGED:
		if (started)
			endLoading(currentCollectionName());
		emit scenesChanged();
		break;
	case OBS_FRONTEND_EVENT_FINISHED_LOADING: {
		obs_source_t *program = obs_get_output_source(0);
		followTransition(program);
		obs_source_release(program);
		started = true;
		endLoading(currentCollectionName());
		break;
	}
	case OBS_FRONTEND_EVENT_SCENE_COLLECTION_RENAMED:
		renameCollection(currentCollectionName());
		break;
	case OBS_FRONTEND_EVENT_EXIT:
		// The last moment the front-end API may be called; OBS removes it right after this event.
		detach();
		break;
	default:
		break;
	}
}

void ObsSceneSource::onSourceRenamed(void *self, calldata *params)
{
	auto *source = static_cast<obs_source_t *>(calldata_ptr(params, "source"));
	if (!source || !obs_source_is_scene(source))
		return;
	const QString to = QString::fromUtf8(calldata_string(params, "new_name"));
	const QString from = QString::fromUtf8(calldata_string(params, "prev_name"));
	// Queued to this object: dropped by Qt if the object is gone before the event arrives.
	auto *scenes = static_cast<ObsSceneSource *>(self);
	QMetaObject::invokeMethod(
		scenes, [scenes, from, to]() { emit scenes->sceneRenamed(from, to); }, Qt::QueuedConnection);
}

void ObsSceneSource::announceProgram(const QString &scene)
{
	// A transition's start told it already; OBS's scene event follows when the transition ends.
	if (scene == programScene)
		return;
	programScene = scene;
	emit programSceneChanged(scene);
}

void ObsSceneSource::onChannelChanged(void *self, calldata *params)
{
	// Called while libobs holds its channel lock, before the channel holds the new source: only the signal's
	// own parameters may be read here.
	if (calldata_int(params, "channel") != 0)
		return;
	static_cast<ObsSceneSource *>(self)->followTransition(
		static_cast<obs_source_t *>(calldata_ptr(params, "source")));
}

void ObsSceneSource::followTransition(obs_source_t *transition)
{
	std::lock_guard<std::mutex> lock(transitionMutex);
	if (transition && obs_source_get_type(transition) != OBS_SOURCE_TYPE_TRANSITION)
		transition = nullptr;
	if (transition == followedTransition)
		return;
	if (followedTransition) {
		signal_handler_disconnect(obs_source_get_signal_handler(followedTransition), "transition_start",
					  &ObsSceneSource::onTransitionStarted, this);
		obs_source_release(followedTransition);
	}
	followedTransition = transition ? obs_source_get_ref(transition) : nullptr;
	if (followedTransition)
		signal_handler_connect(obs_source_get_signal_handler(followedTransition), "transition_start",
				       &ObsSceneSource::onTransitionStarted, this);
}

void ObsSceneSource::onTransitionStarted(void *self, calldata *params)
{
	auto *transition = static_cast<obs_source_t *>(calldata_ptr(params, "source"));
	if (!transition)
		return;
	obs_source_t *destination = obs_transition_get_source(transition, OBS_TRANSITION_SOURCE_B);
	const bool scene = destination && obs_source_is_scene(destination);
	const QString name = scene ? QString::fromUtf8(obs_source_get_name(destination)) : QString();
	obs_source_release(destination);
	if (!scene)
		return;
	auto *scenes = static_cast<ObsSceneSource *>(self);
	QMetaObject::invokeMethod(scenes, [scenes, name]() { scenes->announceProgram(name); }, Qt::QueuedConnection);
}

void ObsSceneSource::detach()
{
	if (!attached)
		return;
	attached = false;
	// libobs holds the signal's lock while it calls a handler, so no rename runs in here once this returns.
	signal_handler_disconnect(obs_get_signal_handler(), "source_rename", &ObsSceneSource::onSourceRenamed, this);
	signal_handler_disconnect(obs_get_signal_handler(), "channel_change", &ObsSceneSource::onChannelChanged, this);
	followTransition(nullptr);
	obs_frontend_remove_event_callback(&ObsSceneSource::onFrontendEvent, this);
	kavren_log(LOG_INFO, "stopped following OBS's scenes");
}
