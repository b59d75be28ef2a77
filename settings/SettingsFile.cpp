#include "settings/SettingsFile.h"

#include "settings/UnsavedSettings.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QThread>

#include <map>
#include <mutex>
#include <optional>

#include <sys/stat.h>
#include <time.h>

namespace {

// A writer holds the lock only to read, change and write the file; a change waits this long for another writer.
constexpr int kLockWaitMs = 2000;
constexpr int kLockPollMs = 5;
// A writer of this machine that died is seen at once by its process id; a lock older than this was left by one
// that hangs, or by one on another machine sharing the folder.
constexpr int kStaleLockMs = 10000;
// File times come from a coarse clock, and some file systems keep them to two seconds: a file changed this soon
// after it was read may keep the times it had, so its bytes are compared too.
constexpr qint64 kCoarseTimeNs = 2000000000;

qint64 nanoseconds(const timespec &time)
{
	return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

qint64 now()
{
	timespec time{};
	clock_gettime(CLOCK_REALTIME, &time);
	return nanoseconds(time);
}

// What tells, without reading it, that the file is no longer the one read: its identity, size and times.
struct Stamp {
	bool exists = false;
	dev_t device = 0;
	ino_t inode = 0;
	off_t size = 0;
	qint64 modified = 0;
	qint64 changed = 0;
	bool operator==(const Stamp &other) const
	{
		return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
		       modified == other.modified && changed == other.changed;
	}
};

Stamp stampOf(const QString &path)
{
	struct stat info{};
	if (::stat(QFile::encodeName(path).constData(), &info) != 0)
		return Stamp();
	return Stamp{
		true, info.st_dev, info.st_ino, info.st_size, nanoseconds(info.st_mtim), nanoseconds(info.st_ctim)};
}

// One settings file as this process knows it.
struct Model {
	bool read = false;
	QJsonObject settings; // what the file holds
	QByteArray content;   // the file's bytes
	Stamp stamp;
	qint64 readAt = 0; // when the file was last seen to hold `content`
	// Settings that could not be written: they stand for the file until a write succeeds.
	std::optional<QJsonObject> unsaved;
	quint64 version = 0;

	bool mayDiffer(const Stamp &now) const
	{
		return !read || !(stamp == now) || stamp.modified + kCoarseTimeNs >= readAt ||
		       stamp.changed + kCoarseTimeNs >= readAt;
	}
	SettingsFile::Snapshot snapshot() const { return {unsaved ? *unsaved : settings, version}; }
};

// Read from every thread: the UI's, the relay's, obs-websocket's.
struct Cache {
	std::mutex mutex;
	std::map<QString, Model> byPath;
	quint64 versions = 0;
};

Cache &cache()
{
	static Cache instance;
	return instance;
}

void notifyChanged(const QString &directory)
{
	SettingsNotifier *notifier = SettingsFile::notifier();
	if (QThread::currentThread() == notifier->thread())
		emit notifier->changed(directory);
	else
		QMetaObject::invokeMethod(
			notifier, [notifier, directory]() { emit notifier->changed(directory); }, Qt::QueuedConnection);
}

// The settings on disk now, read again only when the stamp cannot vouch for the bytes last read, and parsed again
// only when the bytes changed. Nothing when the file cannot be read.
std::optional<QJsonObject> diskSettings(const QString &directory, bool &changed)
{
	const QString path = Utils::settingsFilePath(directory);
	Cache &shared = cache();
	const Stamp stamp = stampOf(path);
	{
		std::lock_guard<std::mutex> lock(shared.mutex);
		const Model &model = shared.byPath[path];
		if (!model.mayDiffer(stamp))
			return model.settings;
	}
	const qint64 readAt = now();
	QByteArray content;
	if (!Utils::readSettingsContent(content, directory))
		return std::nullopt;

	std::lock_guard<std::mutex> lock(shared.mutex);
	Model &model = shared.byPath[path];
	// A later read or a write of ours stored newer bytes meanwhile.
	if (readAt < model.readAt)
		return model.settings;
	if (!model.read || content != model.content) {
		changed = changed || (model.read && !model.unsaved);
		model.settings = Utils::parseSettingsContent(content, path);
		model.content = content;
		if (!model.unsaved)
			model.version = ++shared.versions;
	}
	model.read = true;
	model.stamp = stamp;
	model.readAt = readAt;
	return model.settings;
}

void showUnsaved(const QString &path, const QJsonObject &settings, bool &changed)
{
	Cache &shared = cache();
	std::lock_guard<std::mutex> lock(shared.mutex);
	Model &model = shared.byPath[path];
	model.unsaved = settings;
	model.version = ++shared.versions;
	changed = true;
}

// What read() returns: the settings a failed write kept, or else the file's.
std::optional<SettingsFile::Snapshot> currentView(const QString &directory, bool &changed)
{
	const QString path = Utils::settingsFilePath(directory);
	Cache &shared = cache();
	std::optional<QJsonObject> kept = UnsavedSettings::object(path);
	{
		std::lock_guard<std::mutex> lock(shared.mutex);
		Model &model = shared.byPath[path];
		if (kept && model.unsaved)
			return model.snapshot();
		if (!kept && model.unsaved) {
			// Written since, by a write that went past this accessor.
			model.unsaved.reset();
			model.version = ++shared.versions;
			changed = true;
		}
	}
	if (kept) {
		showUnsaved(path, *kept, changed);
	} else if (!diskSettings(directory, changed)) {
		return std::nullopt;
	}
	std::lock_guard<std::mutex> lock(shared.mutex);
	return shared.byPath[path].snapshot();
}

void rememberWritten(const QString &path, const QJsonObject &settings, const QByteArray &content, bool &changed)
{
	const Stamp stamp = stampOf(path);
	Cache &shared = cache();
	std::lock_guard<std::mutex> lock(shared.mutex);
	Model &model = shared.byPath[path];
	if (!model.read || model.unsaved || content != model.content) {
		model.version = ++shared.versions;
		changed = true;
	}
	model.read = true;
	model.settings = settings;
	model.content = content;
	model.stamp = stamp;
	model.readAt = now();
	model.unsaved.reset();
}

UnsavedSettings::Changes changesBetween(const QJsonObject &before, const QJsonObject &after)
{
	UnsavedSettings::Changes changes;
	for (auto key = after.constBegin(); key != after.constEnd(); ++key)
		if (before.value(key.key()) != key.value())
			changes.insert(key.key(), key.value());
	for (auto key = before.constBegin(); key != before.constEnd(); ++key)
		if (!after.contains(key.key()))
			changes.insert(key.key(), QJsonValue(QJsonValue::Undefined));
	return changes;
}

void apply(const UnsavedSettings::Changes &changes, QJsonObject &settings)
{
	for (auto change = changes.cbegin(); change != changes.cend(); ++change) {
		if (change.value().isUndefined())
			settings.remove(change.key());
		else
			settings.insert(change.key(), change.value());
	}
}

using Change = std::function<bool(QJsonObject &settings)>;

SettingsFile::Outcome changeLocked(const Change &change, const QString &directory, bool &changed)
{
	const QString path = Utils::settingsFilePath(directory);
	const std::optional<QJsonObject> onDisk = diskSettings(directory, changed);
	if (!onDisk)
		return SettingsFile::Outcome::NotRead;
	QJsonObject settings = *onDisk;
	apply(UnsavedSettings::changes(path), settings);
	const QJsonObject before = settings;
	if (!change(settings))
		return SettingsFile::Outcome::Unchanged;

	QByteArray written;
	if (Utils::writeJSONToFile(settings, directory, &written)) {
		rememberWritten(path, settings, written, changed);
		return SettingsFile::Outcome::Written;
	}
	UnsavedSettings::addChanges(path, changesBetween(before, settings));
	showUnsaved(path, settings, changed);
	return SettingsFile::Outcome::NotWritten;
}

// Without the lock the file is not touched: the change joins the unwritten ones, and the operator is told.
SettingsFile::Outcome changeUnlocked(const Change &change, const QString &directory, const QString &reason,
				     bool &changed)
{
	const std::optional<SettingsFile::Snapshot> current = currentView(directory, changed);
	if (!current)
		return SettingsFile::Outcome::NotRead;
	QJsonObject settings = current->settings;
	if (!change(settings))
		return SettingsFile::Outcome::Unchanged;
	Utils::keepUnwritten(settings, directory, reason);
	const QString path = Utils::settingsFilePath(directory);
	UnsavedSettings::addChanges(path, changesBetween(current->settings, settings));
	showUnsaved(path, settings, changed);
	return SettingsFile::Outcome::NotWritten;
}

bool acquire(QLockFile &lock)
{
	lock.setStaleLockTime(kStaleLockMs);
	const QDeadlineTimer deadline(kLockWaitMs);
	// Polled rather than left to tryLock(timeout), whose waits double from 100 ms: a writer would be starved by
	// one that changes the file in a row.
	while (!lock.tryLock(0)) {
		if (lock.error() != QLockFile::LockFailedError || deadline.hasExpired())
			return false;
		QThread::msleep(kLockPollMs);
	}
	return true;
}

QString lockFailure(const QLockFile &lock)
{
	if (lock.error() == QLockFile::LockFailedError)
		return QStringLiteral("another program kept it locked for %1 s").arg(kLockWaitMs / 1000);
	return QStringLiteral("its lock file cannot be made");
}

// Writers of this process take turns here before the lock file. Recursive: a change made from inside another (a
// reporter that stores something) then waits out the lock file and is kept unwritten, instead of hanging.
std::recursive_mutex &writers()
{
	static std::recursive_mutex mutex;
	return mutex;
}

} // namespace

SettingsNotifier::SettingsNotifier()
{
	if (QCoreApplication *application = QCoreApplication::instance())
		moveToThread(application->thread());
}

QString SettingsFile::slotName(int slot)
{
	return QStringLiteral("Camera%1").arg(slot);
}

QString SettingsFile::addressKey(const QString &slotName)
{
	return slotName + QStringLiteral("IP");
}

QString SettingsFile::nickNameKey(const QString &slotName)
{
	return slotName + QStringLiteral("NickName");
}

QString SettingsFile::sourceKey(int slot)
{
	return slotName(slot) + QStringLiteral("Source");
}

QString SettingsFile::addressKey(int slot)
{
	return addressKey(slotName(slot));
}

QJsonObject SettingsFile::read(const QString &directory)
{
	return snapshot(directory).settings;
}

SettingsFile::Snapshot SettingsFile::snapshot(const QString &directory)
{
	bool changed = false;
	const std::optional<Snapshot> current = currentView(directory, changed);
	if (changed)
		notifyChanged(directory);
	return current.value_or(Snapshot());
}

SettingsNotifier *SettingsFile::notifier()
{
	static SettingsNotifier instance;
	return &instance;
}

SettingsFile::Outcome SettingsFile::update(const std::function<bool(QJsonObject &settings)> &change,
					   const QString &directory)
{
	const QString path = Utils::settingsFilePath(directory);
	Outcome outcome;
	bool changed = false;
	{
		std::lock_guard<std::recursive_mutex> turn(writers());
		// The lock file lives beside the settings file.
		QDir().mkpath(directory);
		QLockFile lock(path + QStringLiteral(".lock"));
		outcome = acquire(lock) ? changeLocked(change, directory, changed)
					: changeUnlocked(change, directory, lockFailure(lock), changed);
	}
	if (changed)
		notifyChanged(directory);
	return outcome;
}

bool SettingsFile::updateLogged(Category category, const std::function<void(QJsonObject &settings)> &change,
				const QString &directory)
{
	const Outcome outcome = update(
		[&change](QJsonObject &settings) {
			change(settings);
			return true;
		},
		directory);
	if (outcome == Outcome::NotRead)
		qCDebug(category) << "It's failed to read JSON file.";
	else if (outcome == Outcome::NotWritten)
		qCDebug(category) << "It's failed to write JSON file.";
	return outcome == Outcome::Written;
}
