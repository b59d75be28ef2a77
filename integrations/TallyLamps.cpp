#include "integrations/TallyLamps.h"

#include "control/CameraPool.h"
#include "integrations/IntegrationLog.h"
#include "scenes/SceneSource.h"
#include "settings/SettingsFile.h"
#include "settings/Utils.h"

#include <QJsonObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

namespace {

// A switch the camera did not confirm is sent again a few times, a moment apart; then when the camera answers
// again or the program changes.
constexpr int kRetries = 3;
constexpr int kRetryMs = 300;

} // namespace

bool TallyLamps::isEnabled()
{
	return SettingsFile::read().value(QLatin1String(kEnabledKey)).toBool(true);
}

void TallyLamps::setEnabled(bool on)
{
	SettingsFile::updateLaterLogged(lcIntegrations,
					[on](QJsonObject &settings) { settings[QLatin1String(kEnabledKey)] = on; });
}

TallyLamps::TallyLamps(SceneSource *scenes, CameraPool *pool, QObject *parent)
    : QObject(parent), scenes(scenes), pool(pool)
{
	connect(scenes, &SceneSource::programSourcesChanged, this, &TallyLamps::update);
	// The program's scenes changed while a collection loaded; the new collection's program decides.
	connect(scenes, &SceneSource::collectionLoaded, this, &TallyLamps::update);
	connect(scenes, &SceneSource::sourceRenamed, this, &TallyLamps::followRename);
	// The switch, the slots' sources and their addresses live in the settings.
	connect(SettingsFile::notifier(), &SettingsNotifier::changed, this, &TallyLamps::update);
	connect(pool, &CameraPool::cameraLinked, this, &TallyLamps::onBack);
	connect(pool, &CameraPool::cameraStatusChanged, this, [this](int slot, bool, bool heard) {
		if (heard && !answering.value(slot, true))
			onBack(slot);
		answering[slot] = heard;
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
			lamp = Lamp{address};
		const bool wanted = !source.isEmpty() && program.contains(source);
		if (wanted != lamp.lit)
			lamp.retries = 0;
		// A lamp never lit is taken to be off: a camera is not woken to be told so.
		const bool due = lamp.known ? lamp.lit != wanted : wanted || lamp.everLit;
		if (address.isEmpty() || lamp.refused || lamp.pending || !due || lamp.retries > kRetries)
			continue;
		CameraDoor *door = pool->door(slot);
		if (!door)
			continue;
		QPointer<TallyLamps> self(this);
		const CameraDoor::Outcome outcome = door->tally(wanted, [self, slot, address, wanted](auto result) {
			if (self)
				self->onAnswer(slot, address, wanted, int(result));
		});
		lamp.pending = outcome.ok;
		lamp.known = false;
		lamp.lit = wanted;
		lamp.everLit = lamp.everLit || wanted;
	}
}

void TallyLamps::onAnswer(int slot, const QString &address, bool on, int result)
{
	Lamp &lamp = lamps[slot];
	if (lamp.address != address)
		return;
	lamp.pending = false;
	switch (CameraDoor::TallyResult(result)) {
	case CameraDoor::TallyResult::Lit:
		lamp.known = lamp.lit == on;
		break;
	case CameraDoor::TallyResult::Refused:
		if (!lamp.refused)
			qCWarning(lcIntegrations,
				  "Camera %d refused to switch its tally lamp; it is not asked again until it connects "
				  "again",
				  slot);
		lamp.refused = true;
		break;
	case CameraDoor::TallyResult::NotDelivered:
		if (++lamp.retries > kRetries) {
			qCInfo(lcIntegrations,
			       "Camera %d did not confirm its tally lamp; it is switched again when it answers again",
			       slot);
			break;
		}
		QTimer::singleShot(kRetryMs, this, &TallyLamps::update);
		return;
	}
	// The program may have changed while the switch was on its way.
	update();
}

void TallyLamps::onBack(int slot)
{
	// A camera that answers again may have been restarted: it gets the lamp of the moment.
	Lamp &lamp = lamps[slot];
	lamp.refused = false;
	lamp.known = false;
	lamp.retries = 0;
	update();
}

void TallyLamps::followRename(const QString &from, const QString &to)
{
	const auto follow = [from, to](QJsonObject &settings) {
		bool changed = false;
		for (int slot = 1; slot <= SettingsFile::kSlotCount; ++slot) {
			const QString key = SettingsFile::sourceKey(slot);
			if (!from.isEmpty() && settings.value(key).toString() == from) {
				settings[key] = to;
				changed = true;
			}
		}
		return changed;
	};
	// Shown at once: the lamps look the renamed source up in the settings.
	SettingsFile::updateLater(
		follow, SettingsFile::Shown::AtOnce, Utils::getAppDataPath(), this, [](SettingsFile::Outcome outcome) {
			if (outcome == SettingsFile::Outcome::NotRead || outcome == SettingsFile::Outcome::NotWritten)
				qCWarning(lcIntegrations, "A camera's OBS source was renamed, but the settings could "
							  "not be changed to follow it");
		});
}
