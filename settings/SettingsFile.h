#pragma once

#include "settings/Utils.h"

#include <QJsonObject>
#include <QLoggingCategory>
#include <QObject>
#include <QString>

#include <functional>

// Tells that the settings read() returns changed: after a write of ours, and when a read finds the file changed on
// disk (by hand, or by another OBS sharing it). Lives on the application's thread and signals there.
class SettingsNotifier : public QObject {
	Q_OBJECT

public:
	SettingsNotifier();

signals:
	void changed(const QString &directory);
};

// The settings file as the rest of the product uses it: the keys more than one part reads, and the one
// read-modify-write every change goes through, so no change can lose another's keys, whether it comes from this
// process or from another OBS using the same file.
namespace SettingsFile {

// The controller drives eight camera slots, each with presets 1..19; slot and preset numbers are stored as such.
constexpr int kSlotCount = 8;
constexpr int kFirstPreset = 1;
constexpr int kLastPreset = 19;
constexpr bool isSlot(int slot)
{
	return slot >= 1 && slot <= kSlotCount;
}
constexpr bool isPreset(int preset)
{
	return preset >= kFirstPreset && preset <= kLastPreset;
}

// The slot keys: "Camera<n>IP" holds the address of slot n (1..8), "Camera<n>NickName" its caption. A slot's name
// is "Camera<n>".
QString slotName(int slot);
QString addressKey(const QString &slotName);
QString nickNameKey(const QString &slotName);
QString addressKey(int slot);
// "Camera<n>Source": the name of the OBS source that shows slot n's camera.
QString sourceKey(int slot);
// Whether the camera hotkeys are switched on.
constexpr const char *kHotKeyKey = "hotKey";
// The slot the operator used last (0: none), taken up again at the next start.
constexpr const char *kSlotInUseKey = "ControllerSlot";

// The settings as they are now; a file that cannot be read reads as no settings. Kept in memory: the file is read
// again only when its size, times or identity changed (or may have changed unseen), and parsed again only when
// its content did. Safe from any thread.
QJsonObject read(const QString &directory = Utils::getAppDataPath());
// read() with a version that changes whenever the settings it returns change, for readers that keep what they
// made of the settings until then.
struct Snapshot {
	QJsonObject settings;
	quint64 version = 0;
};
Snapshot snapshot(const QString &directory = Utils::getAppDataPath());

SettingsNotifier *notifier();

enum class Outcome { Written, NotRead, Unchanged, NotWritten };
// Reads the settings, lets `change` edit them and writes them back when it returns true. Nothing is written when
// the file cannot be read: a write would replace what could not be read. The file is locked from the read to the
// write, against every writer, in this process or another; when it stays locked too long, the change is kept in
// memory as an unwritten change is (and told as such), and laid over the file at the next write.
Outcome update(const std::function<bool(QJsonObject &settings)> &change,
	       const QString &directory = Utils::getAppDataPath());

// update() whose failures are debug lines of `category`; true when the settings were written.
using Category = const QLoggingCategory &(*)();
bool updateLogged(Category category, const std::function<void(QJsonObject &settings)> &change,
		  const QString &directory = Utils::getAppDataPath());

} // namespace SettingsFile
