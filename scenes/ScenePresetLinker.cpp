#include "scenes/ScenePresetLinker.h"

#include "control/CameraDirector.h"
#include "scenes/SceneLog.h"
#include "scenes/SceneSource.h"
#include "settings/SettingsFile.h"
#include "settings/Utils.h"

#include <QJsonObject>

ScenePresetLinker::ScenePresetLinker(SceneSource *scenes, CameraDirector *director, QObject *parent)
    : QObject(parent), director(director)
{
	connect(scenes, &SceneSource::programSceneChanged, this,
		[this](const QString &scene) { onScene(scene, ScenePresetTable::Moment::Program); });
	connect(scenes, &SceneSource::previewSceneChanged, this,
		[this](const QString &scene) { onScene(scene, ScenePresetTable::Moment::Preview); });
	connect(scenes, &SceneSource::sceneRenamed, this, &ScenePresetLinker::onRenamed);
}

void ScenePresetLinker::onScene(const QString &scene, ScenePresetTable::Moment on)
{
	const ScenePresetTable table = ScenePresetTable::fromSettings(SettingsFile::read());
	const ScenePresetTable::Link *link = table.find(scene, on);
	if (!link)
		return;
	qCInfo(lcScenes, "Scene \"%s\" went to %s: preset %d on camera %d", qUtf8Printable(scene),
	       qUtf8Printable(ScenePresetTable::momentName(on)), link->preset, link->slot);
	const CameraDirector::Outcome outcome =
		director->callPreset(link->slot, link->preset, CameraDirector::Source::Scene);
	if (!outcome.ok)
		qCWarning(lcScenes, "The preset of scene \"%s\" was not called: %s", qUtf8Printable(scene),
			  qUtf8Printable(outcome.error));
}

void ScenePresetLinker::onRenamed(const QString &from, const QString &to)
{
	const SettingsFile::Outcome outcome = SettingsFile::update([&from, &to](QJsonObject &settings) {
		ScenePresetTable table = ScenePresetTable::fromSettings(settings);
		if (!table.renameScene(from, to))
			return false;
		settings[QLatin1String(ScenePresetTable::kKey)] = table.toJson();
		return true;
	});
	if (outcome == SettingsFile::Outcome::Written)
		qCInfo(lcScenes, "Scene \"%s\" was renamed \"%s\"; its presets follow it", qUtf8Printable(from),
		       qUtf8Printable(to));
}
