#include "integrations/TallyLamps.h"

#include "control/CameraDirector.h"
#include "integrations/IntegrationLog.h"
#include "scenes/SceneSource.h"
#include "settings/SettingsFile.h"

#include <QJsonObject>
#include <QSet>

bool TallyLamps::isEnabled()
{
	return SettingsFile::read().value(QLatin1String(kEnabledKey)).toBool(true);
}

void TallyLamps::setEnabled(bool on)
{
	SettingsFile::updateLogged(lcIntegrations,
				   [on](QJsonObject &settings) { settings[QLatin1String(kEnabledKey)] = on; });
}

TallyLamps::TallyLamps(SceneSource *scenes, CameraDirector *director, QObject *parent)
    : QObject(parent), scenes(scenes), director(director)
{
	connect(scenes, &SceneSource::programSourcesChanged, this, &TallyLamps::update);
	// The program's scenes changed while a collection loaded; the new collection's program decides.
	connect(scenes, &SceneSource::collectionLoaded, this, &TallyLamps::update);
	connect(scenes, &SceneSource::sourceRenamed, this, &TallyLamps::followRename);
	// The switch, the slots' sources and their addresses live in the settings.
	connect(SettingsFile::notifier(), &SettingsNotifier::changed, this, &TallyLamps::update);
	connect(director, &CameraDirector::tallyRefused, this, &TallyLamps::onRefused);
	connect(director, &CameraDirector::cameraLinked, this, &TallyLamps::onReconnected);
	connect(director, &CameraDirector::cameraStatusChanged, this, [this](int slot, bool connected, bool heard) {
		const bool now = connected && heard;
		if (now && !answering.value(slot, true))
			onReconnected(slot);
		answering[slot] = now;
	});
	update();
}

void TallyLamps::update()
{
	if (!scenes || scenes->isLoading())
		return;
	const QJsonObject settings = SettingsFile::read();
	const bool enabled = settings.value(QLatin1String(kEnabledKey)).toBool(true);
	const QStringList shown = enabled ? scenes->programSourceNames() : QStringList();
	const QSet<QString> program(shown.begin(), shown.end());
	for (int slot = 1; slot <= SettingsFile::kSlotCount; ++slot) {
		const QString address = settings.value(SettingsFile::addressKey(slot)).toString();
		const QString source = settings.value(SettingsFile::sourceKey(slot)).toString();
		Lamp &lamp = lamps[slot];
		if (lamp.address != address)
			lamp = Lamp{address, std::nullopt, false, false};
		const bool wanted = !source.isEmpty() && program.contains(source);
		// A lamp never switched on is taken to be off: a camera is not woken to be told so.
		const bool due = lamp.lit ? *lamp.lit != wanted : wanted || lamp.undelivered;
		if (address.isEmpty() || lamp.refused || !due)
			continue;
		const bool taken = director->tally(slot, wanted).ok;
		lamp.lit = taken ? std::optional<bool>(wanted) : std::nullopt;
		lamp.undelivered = !taken;
	}
}

void TallyLamps::followRename(const QString &from, const QString &to)
{
	const SettingsFile::Outcome outcome = SettingsFile::update([&](QJsonObject &settings) {
		bool changed = false;
		for (int slot = 1; slot <= SettingsFile::kSlotCount; ++slot) {
			const QString key = SettingsFile::sourceKey(slot);
			if (!from.isEmpty() && settings.value(key).toString() == from) {
				settings[key] = to;
				changed = true;
			}
		}
		return changed;
	});
	if (outcome == SettingsFile::Outcome::NotRead || outcome == SettingsFile::Outcome::NotWritten)
		qCWarning(lcIntegrations, "A camera's OBS source was renamed, but the settings could not be changed to "
					  "follow it");
}

void TallyLamps::onRefused(int slot)
{
	Lamp &lamp = lamps[slot];
	if (lamp.refused)
		return;
	lamp.refused = true;
	lamp.lit = std::nullopt;
	lamp.undelivered = true;
	qCWarning(lcIntegrations,
		  "Camera %d refused to switch its tally lamp; it is not asked again until it connects "
		  "again",
		  slot);
}

void TallyLamps::onReconnected(int slot)
{
	Lamp &lamp = lamps[slot];
	if (!lamp.refused && !lamp.undelivered)
		return;
	lamp.refused = false;
	update();
}
