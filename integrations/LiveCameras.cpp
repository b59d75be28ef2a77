#include "integrations/LiveCameras.h"

#include "integrations/IntegrationLog.h"
#include "scenes/SceneSource.h"
#include "settings/OutsideText.h"
#include "settings/SettingsFile.h"

#include <QJsonObject>
#include <QStringList>

LiveCameras::LiveCameras(SceneSource *scenes, QObject *parent) : QObject(parent), scenes(scenes)
{
	connect(scenes, &SceneSource::studioModeChanged, this, &LiveCameras::update);
	connect(scenes, &SceneSource::programSourcesChanged, this, &LiveCameras::update);
	connect(scenes, &SceneSource::collectionLoaded, this, &LiveCameras::update);
	// A slot given another source or address.
	connect(SettingsFile::notifier(), &SettingsNotifier::changed, this, &LiveCameras::update);
	update();
}

bool LiveCameras::isLive(int slot) const
{
	const QString address = SettingsFile::read().value(SettingsFile::addressKey(slot)).toString();
	return !address.isEmpty() && live.contains(address);
}

void LiveCameras::update()
{
	QSet<QString> now;
	if (scenes && scenes->isStudioMode() && !scenes->isLoading()) {
		const QStringList program = scenes->programSourceNames();
		const QJsonObject settings = SettingsFile::read();
		for (int slot = 1; slot <= SettingsFile::kSlotCount; ++slot) {
			const QString source = settings.value(SettingsFile::sourceKey(slot)).toString();
			const QString address = settings.value(SettingsFile::addressKey(slot)).toString();
			if (!source.isEmpty() && !address.isEmpty() && program.contains(source))
				now.insert(address);
		}
	}
	if (now == live)
		return;
	live = now;
	QStringList named(live.begin(), live.end());
	named.sort();
	qCInfo(lcIntegrations, "Live cameras in Studio Mode: %s",
	       named.isEmpty() ? "none" : OutsideText::escaped(named.join(QLatin1String(", ")), 200).constData());
	emit changed(live);
}
