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

// The scene signals that change which items of a scene are shown.
constexpr const char *kItemSignals[] = {"item_add", "item_remove", "item_visible"};
// Nesting deeper than this is not followed: OBS refuses cycles, this only bounds a damaged collection.
constexpr int kMaxProgramScenes = 256;

// What the program shows: the names of its visible items and the scenes and groups walked to find them (not
// references; valid while the program scene's reference is held).
struct ProgramWalk {
	QStringList names;
	QList<obs_source_t *> scenes;
};

void walkScene(obs_source_t *scene, ProgramWalk &walk);

bool visitItem(obs_scene_t *, obs_sceneitem_t *item, void *param)
{
	auto &walk = *static_cast<ProgramWalk *>(param);
	if (!obs_sceneitem_visible(item))
		return true;
	obs_source_t *source = obs_sceneitem_get_source(item);
	walk.names << QString::fromUtf8(obs_source_get_name(source));
	if (obs_group_or_scene_from_source(source))
		walkScene(source, walk);
	return true;
}

void walkScene(obs_source_t *scene, ProgramWalk &walk)
{
	if (walk.scenes.contains(scene) || walk.scenes.size() >= kMaxProgramScenes)
		return;
	walk.scenes << scene;
	obs_scene_enum_items(obs_group_or_scene_from_source(scene), &visitItem, &walk);
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

QStringList ObsSceneSource::videoSourceNames() const
{
	QStringList names;
	obs_enum_sources(
		[](void *param, obs_source_t *source) {
			if (!obs_source_is_group(source) && (obs_source_get_output_flags(source) & OBS_SOURCE_VIDEO))
				static_cast<QStringList *>(param)->append(
					QString::fromUtf8(obs_source_get_name(source)));
			return true;
		},
		&names);
	return names;
}

QStringList ObsSceneSource::programSourceNames() const
{
	obs_source_t *program = programSceneRef();
	ProgramWalk walk;
	if (program)
		walkScene(program, walk);
	obs_source_release(program);
	return walk.names;
}

obs_source_t *ObsSceneSource::programSceneRef() const
{
	// The scene told last: a transition's start tells it before OBS's current scene is that scene.
	if (programScene.isEmpty())
		return obs_frontend_get_current_scene();
	return obs_get_source_by_name(programScene.toUtf8().constData());
}

void ObsSceneSource::programMayHaveChanged()
{
	if (programCheckQueued.exchange(true))
		return;
	QMetaObject::invokeMethod(
		this,
		[this]() {
			programCheckQueued = false;
			if (!attached)
				return;
			watchProgram();
			emit programSourcesChanged();
		},
		Qt::QueuedConnection);
}

void ObsSceneSource::onProgramItemsChanged(void *self, calldata *)
{
	static_cast<ObsSceneSource *>(self)->programMayHaveChanged();
}

void ObsSceneSource::watchProgram()
{
	unwatchProgram();
	obs_source_t *program = programSceneRef();
	ProgramWalk walk;
	if (program)
		walkScene(program, walk);
	// A hidden item's scene is not followed: its parent, which is, tells when it is shown.
	for (obs_source_t *scene : walk.scenes) {
		for (const char *signal : kItemSignals)
			signal_handler_connect(obs_source_get_signal_handler(scene), signal,
					       &ObsSceneSource::onProgramItemsChanged, this);
		watchedScenes.push_back(obs_source_get_weak_source(scene));
	}
	obs_source_release(program);
}

void ObsSceneSource::unwatchProgram()
{
	for (obs_weak_source_t *weak : watchedScenes) {
		// A scene already gone took its signal handler, and our connections, with it.
		if (obs_source_t *scene = obs_weak_source_get_source(weak)) {
			for (const char *signal : kItemSignals)
				signal_handler_disconnect(obs_source_get_signal_handler(scene), signal,
							  &ObsSceneSource::onProgramItemsChanged, this);
			obs_source_release(scene);
		}
		obs_weak_source_release(weak);
	}
	watchedScenes.clear();
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
		programMayHaveChanged();
		break;
	// OBS 29 starts by loading the collection, sending SCENE_CHANGED and PREVIEW_SCENE_CHANGED, and then
	// FINISHED_LOADING, with no collection event; later versions send SCENE_COLLECTION_CHANGED before those scene
	// events at start, which must not end the start. An operator's change is CHANGING, the collection's scene
	// events, CHANGED.
	case OBS_FRONTEND_EVENT_SCENE_COLLECTION_CHANGING:
		beginLoading();
		// The collection's scenes are about to go.
		unwatchProgram();
		break;
	case OBS_FRONTEND_EVENT_SCENE_COLLECTION_CHANGED:
		if (started)
			endLoading(currentCollectionName());
		emit scenesChanged();
		programMayHaveChanged();
		break;
	case OBS_FRONTEND_EVENT_FINISHED_LOADING: {
		obs_source_t *program = obs_get_output_source(0);
		followTransition(program);
		obs_source_release(program);
		started = true;
		setStudioMode(obs_frontend_preview_program_mode_active());
		endLoading(currentCollectionName());
		programMayHaveChanged();
		break;
	}
	case OBS_FRONTEND_EVENT_STUDIO_MODE_ENABLED:
	case OBS_FRONTEND_EVENT_STUDIO_MODE_DISABLED:
		setStudioMode(event == OBS_FRONTEND_EVENT_STUDIO_MODE_ENABLED);
		break;
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
	if (!source)
		return;
	const bool scene = obs_source_is_scene(source);
	const QString to = QString::fromUtf8(calldata_string(params, "new_name"));
	const QString from = QString::fromUtf8(calldata_string(params, "prev_name"));
	// Queued to this object: dropped by Qt if the object is gone before the event arrives.
	auto *scenes = static_cast<ObsSceneSource *>(self);
	QMetaObject::invokeMethod(
		scenes, [scenes, from, to, scene]() { scenes->announceRename(from, to, scene); }, Qt::QueuedConnection);
}

void ObsSceneSource::announceRename(const QString &from, const QString &to, bool scene)
{
	if (scene) {
		if (programScene == from)
			programScene = to;
		emit sceneRenamed(from, to);
	}
	emit sourceRenamed(from, to);
	programMayHaveChanged();
}

void ObsSceneSource::announceProgram(const QString &scene)
{
	// A transition's start told it already; OBS's scene event follows when the transition ends.
	if (scene == programScene)
		return;
	programScene = scene;
	emit programSceneChanged(scene);
	programMayHaveChanged();
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
	unwatchProgram();
	obs_frontend_remove_event_callback(&ObsSceneSource::onFrontendEvent, this);
	kavren_log(LOG_INFO, "stopped following OBS's scenes");
}
