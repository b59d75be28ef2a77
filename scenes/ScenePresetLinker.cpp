#include "scenes/ScenePresetLinker.h"

#include "control/CameraPool.h"
#include "scenes/SceneLog.h"
#include "scenes/SceneSource.h"
#include "settings/OutsideText.h"
#include "settings/SettingsFile.h"

#include <QJsonObject>

namespace {

QString collectionOf(const SceneSource *scenes)
{
	return scenes ? scenes->collection() : QString();
}

} // namespace

ScenePresetLinker::ScenePresetLinker(SceneSource *scenes, CameraPool *pool, QObject *parent)
    : QObject(parent), scenes(scenes), pool(pool)
{
	connect(scenes, &SceneSource::programSceneChanged, this,
		[this](const QString &scene) { onScene(scene, ScenePresetTable::Moment::Program); });
	connect(scenes, &SceneSource::previewSceneChanged, this,
		[this](const QString &scene) { onScene(scene, ScenePresetTable::Moment::Preview); });
	connect(scenes, &SceneSource::sceneRenamed, this, &ScenePresetLinker::onRenamed);
	connect(scenes, &SceneSource::collectionLoaded, this, &ScenePresetLinker::onCollectionLoaded);
	connect(scenes, &SceneSource::collectionRenamed, this, &ScenePresetLinker::onCollectionRenamed);
}

const ScenePresetTable &ScenePresetLinker::links()
{
	const SettingsFile::Snapshot settings = SettingsFile::snapshot();
	const QString collection = collectionOf(scenes);
	if (!table || settings.version != tableVersion || collection != tableCollection) {
		table = ScenePresetTable::fromSettings(settings.settings, collection);
		tableVersion = settings.version;
		tableCollection = collection;
	}
	return *table;
}

void ScenePresetLinker::onScene(const QString &scene, ScenePresetTable::Moment on)
{
	if (scenes && scenes->isLoading()) {
		qCDebug(lcScenes, "Scene %s went to %s while a scene collection loads: no preset is recalled",
			OutsideText::quoted(scene).constData(), qUtf8Printable(ScenePresetTable::momentName(on)));
		return;
	}
	const ScenePresetTable::Link *link = links().find(scene, on);
	if (!link)
		return;
	CameraDoor *door = pool->door(link->slot);
	const CameraDoor::Outcome outcome =
		door ? door->callPreset(link->preset, CameraCaller{CameraOrigin::Scene})
		     : CameraDoor::Outcome::refused(QStringLiteral("the controller is shutting down"));
	if (outcome.ok)
		qCInfo(lcScenes, "Scene %s went to %s: preset %d on %s (slot %d)",
		       OutsideText::quoted(scene).constData(), qUtf8Printable(ScenePresetTable::momentName(on)),
		       link->preset, OutsideText::quoted(pool->caption(link->slot)).constData(), link->slot);
	else
		qCInfo(lcScenes, "Scene %s went to %s: preset %d is not recalled, %s",
		       OutsideText::quoted(scene).constData(), qUtf8Printable(ScenePresetTable::momentName(on)),
		       link->preset, qUtf8Printable(outcome.error));
}

void ScenePresetLinker::onRenamed(const QString &from, const QString &to)
{
	const QString collection = collectionOf(scenes);
	const SettingsFile::Outcome outcome = SettingsFile::update([&](QJsonObject &settings) {
		ScenePresetTable renamed = ScenePresetTable::fromSettings(settings, collection);
		if (!renamed.renameScene(from, to))
			return false;
		settings[QLatin1String(ScenePresetTable::kKey)] = renamed.toJson();
		return true;
	});
	if (outcome == SettingsFile::Outcome::Written)
		qCInfo(lcScenes, "Scene %s was renamed %s; its presets follow it",
		       OutsideText::quoted(from).constData(), OutsideText::quoted(to).constData());
}

void ScenePresetLinker::onCollectionLoaded(const QString &collection)
{
	qCInfo(lcScenes, "Scene collection %s loaded: its scene links recall presets from now on",
	       OutsideText::quoted(collection).constData());
	if (collection.isEmpty())
		return;
	int adopted = 0;
	const SettingsFile::Outcome outcome = SettingsFile::update([&](QJsonObject &settings) {
		const ScenePresetTable current = ScenePresetTable::fromSettings(settings, collection);
		adopted = current.adopted();
		if (adopted == 0)
			return false;
		settings[QLatin1String(ScenePresetTable::kKey)] = current.toJson();
		return true;
	});
	if (outcome == SettingsFile::Outcome::Written)
		qCInfo(lcScenes, "%d scene links stored without a scene collection now belong to %s", adopted,
		       OutsideText::quoted(collection).constData());
}

void ScenePresetLinker::onCollectionRenamed(const QString &from, const QString &to)
{
	const SettingsFile::Outcome outcome = SettingsFile::update([&](QJsonObject &settings) {
		ScenePresetTable renamed = ScenePresetTable::fromSettings(settings, from);
		if (renamed.links().isEmpty())
			return false;
		renamed.renameCollection(to);
		settings[QLatin1String(ScenePresetTable::kKey)] = renamed.toJson();
		return true;
	});
	if (outcome == SettingsFile::Outcome::Written)
		qCInfo(lcScenes, "Scene collection %s was renamed %s; its scene links follow it",
		       OutsideText::quoted(from).constData(), OutsideText::quoted(to).constData());
}
