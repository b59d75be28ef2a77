#pragma once

#include "settings/SettingsStorage.h"

#include <QJsonObject>
#include <QLoggingCategory>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

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

// A settings file larger than this is not read again on OBS's UI thread: reading and parsing it would take longer
// than a frame (a file of 100,000 scene links holds some 15 MB). The writer's thread reads it; read() returns the
// settings last read until then, and changed() tells when they changed.
constexpr qint64 kReadAtOnceBytes = 1024 * 1024;

// The settings as they are now; a file that cannot be read reads as no settings. Kept in memory: the file is read
// again only when its size, times or identity changed (or may have changed unseen), and parsed again only when
// its content did. Safe from any thread.
QJsonObject read(const QString &directory = SettingsStorage::defaultDirectory());
// read() that tells a file that cannot be read (its folder cannot be made, or it cannot be opened) from one that
// holds no settings: nothing then.
std::optional<QJsonObject> tryRead(const QString &directory = SettingsStorage::defaultDirectory());
// read() with a version that changes whenever the settings it returns change, for readers that keep what they
// made of the settings until then.
struct Snapshot {
	QJsonObject settings;
	quint64 version = 0;
};
Snapshot snapshot(const QString &directory = SettingsStorage::defaultDirectory());

SettingsNotifier *notifier();

using Category = const QLoggingCategory &(*)();

enum class Outcome { Written, NotRead, Unchanged, NotWritten };
using Change = std::function<bool(QJsonObject &settings)>;
// Reads the settings, lets `change` edit them and writes them back when it returns true. Nothing is written when
// the file cannot be read: a write would replace what could not be read. The file is locked from the read to the
// write, against every writer, in this process or another; when it stays locked too long, the change is kept in
// memory as an unwritten change is (and told as such), and laid over the file at the next write. Every write of
// this process is made by one writer thread, in the order asked: update() waits for its turn and its write.
Outcome update(const Change &change, const QString &directory = SettingsStorage::defaultDirectory());

// When read() shows a change handed to updateLater(): at once (the change is applied on the caller's thread too,
// so it must be cheap), or once it is written (a change that is costly to apply, such as one that rewrites every
// scene link).
enum class Shown { AtOnce, WhenWritten };
// update() without waiting: the change is queued for the writer thread and the call returns at once, so that OBS's
// UI thread never waits for the disk or for another OBS that holds the file. Changes that wait together are
// written in one read-modify-write, in the order they were queued; `change` may be called more than once (once
// here for Shown::AtOnce, and on the writer's thread on the settings as the file holds them then). `done`, when
// given, is told the outcome on `context`'s thread, unless `context` is gone by then.
void updateLater(Change change, Shown shown = Shown::AtOnce,
		 const QString &directory = SettingsStorage::defaultDirectory(), QObject *context = nullptr,
		 std::function<void(Outcome outcome)> done = {});
// updateLater() whose failures are debug lines of `category`, as updateLogged() has them.
void updateLaterLogged(Category category, std::function<void(QJsonObject &settings)> change,
		       const QString &directory = SettingsStorage::defaultDirectory());
// Writes what is queued, and tries once more what could not be written before (another program held the file),
// waiting at most `timeout`. False, with a warning that names the file, when changes remain unwritten: at OBS's
// end, so that the operator learns the file lacks them.
bool finishWrites(int timeoutMs);
// The writer finishes what waits before the application is torn down. A module unloaded before that calls this, so
// that the application never calls into code that is gone.
void leaveApplication();

// update() whose failures are debug lines of `category`; true when the settings were written.
bool updateLogged(Category category, const std::function<void(QJsonObject &settings)> &change,
		  const QString &directory = SettingsStorage::defaultDirectory());

} // namespace SettingsFile
