#include "scenes/ScenePresetLinker.h"

#include "control/CameraDirector.h"
#include "scenes/SceneLog.h"
#include "scenes/SceneSource.h"
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
	QJsonObject settings;
	Utils::readJSONFromFile(settings, Utils::getAppDataPath());
	const ScenePresetTable table = ScenePresetTable::fromSettings(settings);
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
	QJsonObject settings;
	if (!Utils::readJSONFromFile(settings, Utils::getAppDataPath()))
		return;
	ScenePresetTable table = ScenePresetTable::fromSettings(settings);
	if (!table.renameScene(from, to))
		return;
	settings[QLatin1String(ScenePresetTable::kKey)] = table.toJson();
	if (Utils::writeJSONToFile(settings, Utils::getAppDataPath()))
		qCInfo(lcScenes, "Scene \"%s\" was renamed \"%s\"; its presets follow it", qUtf8Printable(from),
		       qUtf8Printable(to));
}
