#pragma once
// OBS's scenes as a test switches them, and a scene-preset link as the settings file stores it.
#include "scenes/SceneSource.h"
#include <QJsonObject>
#include <QLatin1String>
#include <QString>
#include <QStringList>

class FakeSceneSource : public SceneSource {
public:
	QStringList names{QStringLiteral("Wide"), QStringLiteral("Pulpit"), QStringLiteral("Choir")};
	QStringList sceneNames() const override { return names; }
	QStringList videoSources{QStringLiteral("Cam A"), QStringLiteral("Cam B")};
	QStringList videoSourceNames() const override { return videoSources; }
	QStringList program;
	QStringList programSourceNames() const override { return program; }
	using SceneSource::beginLoading;
	using SceneSource::endLoading;
	using SceneSource::renameCollection;
	using SceneSource::setStudioMode;
};

inline QJsonObject sceneLink(const QString &scene, int slot, int preset, const char *on,
			     const char *collection = nullptr)
{
	QJsonObject linked{{QStringLiteral("scene"), scene},
			   {QStringLiteral("slot"), slot},
			   {QStringLiteral("preset"), preset},
			   {QStringLiteral("on"), QLatin1String(on)}};
	if (collection)
		linked.insert(QStringLiteral("collection"), QLatin1String(collection));
	return linked;
}
