#include "settings/SettingsFile.h"

#include "settings/UnsavedSettings.h"

#include "settings/SettingsLog.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <tuple>
#include <vector>

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
// As long as a write may wait for another writer's lock, and a little more.
constexpr int kFinishAtApplicationEndMs = kLockWaitMs + 1000;

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
	// What the last replacement took out of the fields above. A thread that read settings just before they were
	// replaced may still hold them: kept here one generation more, they are freed by the thread that replaces
	// them next (the writer's), not by that reader, which may be OBS's UI thread, where 100,000 scene links would
	// take tens of milliseconds to free.
	QJsonObject retired;
	std::optional<QJsonObject> retiredOther;
	// The settings as they will be once the changes queued to be shown at once are written; they stand for the
	// file until then.
	std::optional<QJsonObject> pending;
	int pendingChanges = 0;
	bool refreshQueued = false; // the writer's thread is to read the file again
	quint64 version = 0;

	bool mayDiffer(const Stamp &now) const
	{
		return !read || !(stamp == now) || stamp.modified + kCoarseTimeNs >= readAt ||
		       stamp.changed + kCoarseTimeNs >= readAt;
	}
	SettingsFile::Snapshot snapshot(bool pendingToo = true) const
	{
		return {pendingToo && pending ? *pending : unsaved ? *unsaved : settings, version};
	}
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

// Hands `work` to the application's thread, from the writer's thread among others. Qt keeps the posted work in a
// list of its own under a mutex of its own.
void postToApplication(std::function<void()> work)
{
	QMetaObject::invokeMethod(SettingsFile::notifier(), std::move(work), Qt::QueuedConnection);
}

void notifyChanged(const QString &directory)
{
	SettingsNotifier *notifier = SettingsFile::notifier();
	if (QThread::currentThread() == notifier->thread())
		emit notifier->changed(directory);
	else
		postToApplication([notifier, directory]() { emit notifier->changed(directory); });
}

void refreshLater(const QString &directory);

// What the cache lets go of, freed when this goes: declared before the lock, it goes after it.
struct Replaced {
	QJsonObject settings;
	QByteArray content;
	std::optional<QJsonObject> other;

	// Takes `field`'s value into the model's retired settings, and what they held before into this.
	void retire(Model &model, QJsonObject &field)
	{
		std::swap(settings, model.retired);
		std::swap(model.retired, field);
	}
	void retire(Model &model, std::optional<QJsonObject> &field)
	{
		other.swap(model.retiredOther);
		model.retiredOther.swap(field);
	}
};

// The settings on disk now, read again only when the stamp cannot vouch for the bytes last read, and parsed again
// only when the bytes changed. Nothing when the file cannot be read. With `mayDefer` (OBS's UI thread), a file too
// large to read and parse within a frame is read again on the writer's thread, and the settings last read stand
// until then; changed() tells when that read finds them changed.
std::optional<QJsonObject> diskSettings(const QString &directory, bool &changed, bool mayDefer = false)
{
	const QString path = SettingsStorage::filePath(directory);
	Cache &shared = cache();
	const Stamp stamp = stampOf(path);
	bool defer = false;
	{
		std::lock_guard<std::mutex> lock(shared.mutex);
		const Model &model = shared.byPath[path];
		if (!model.mayDiffer(stamp))
			return model.settings;
		defer = mayDefer && model.read &&
			std::max<qint64>(stamp.size, model.content.size()) > SettingsFile::kReadAtOnceBytes;
	}
	if (defer) {
		refreshLater(directory);
		std::lock_guard<std::mutex> lock(shared.mutex);
		return shared.byPath[path].settings;
	}
	const qint64 readAt = now();
	QByteArray content;
	if (!SettingsStorage::readContent(content, directory))
		return std::nullopt;

	// Compared and parsed without the lock: other threads' reads go on meanwhile.
	QByteArray known;
	{
		std::lock_guard<std::mutex> lock(shared.mutex);
		known = shared.byPath[path].content;
	}
	std::optional<QJsonObject> parsed;
	if (content != known)
		parsed = SettingsStorage::parseContent(content, path);

	// What the new settings replace is freed once the lock is let go: 100,000 scene links take tens of
	// milliseconds to free, and other threads' reads wait for the lock.
	Replaced replaced;
	std::lock_guard<std::mutex> lock(shared.mutex);
	Model &model = shared.byPath[path];
	// A later read or a write of ours stored newer bytes meanwhile.
	if (readAt < model.readAt)
		return model.settings;
	const bool same = model.content.isSharedWith(known) ? !parsed : content == model.content;
	if (!model.read || !same) {
		changed = changed || (model.read && !model.unsaved);
		replaced.retire(model, model.settings);
		std::swap(replaced.content, model.content);
		model.settings = parsed ? *parsed : SettingsStorage::parseContent(content, path);
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
	Replaced replaced;
	std::lock_guard<std::mutex> lock(shared.mutex);
	Model &model = shared.byPath[path];
	replaced.retire(model, model.unsaved);
	model.unsaved = settings;
	model.version = ++shared.versions;
	changed = true;
}

bool onApplicationThread()
{
	const QCoreApplication *application = QCoreApplication::instance();
	return application && QThread::currentThread() == application->thread();
}

// What read() returns: the settings changes queued to be shown at once make (unless `pendingToo` is false), or
// else those a failed write kept, or else the file's.
std::optional<SettingsFile::Snapshot> currentView(const QString &directory, bool &changed, bool pendingToo = true)
{
	const QString path = SettingsStorage::filePath(directory);
	Cache &shared = cache();
	if (pendingToo) {
		std::lock_guard<std::mutex> lock(shared.mutex);
		const Model &model = shared.byPath[path];
		if (model.pending)
			return model.snapshot();
	}
	std::optional<QJsonObject> kept = UnsavedSettings::object(path);
	{
		std::lock_guard<std::mutex> lock(shared.mutex);
		Model &model = shared.byPath[path];
		// The settings a failed write of this accessor keeps are the very object it shows, and compare at once;
		// another object was kept by a write that went past this accessor.
		if (kept && model.unsaved && *kept == *model.unsaved)
			return model.snapshot(pendingToo);
		if (!kept && model.unsaved) {
			// Written since, by a write that went past this accessor.
			model.unsaved.reset();
			model.version = ++shared.versions;
			changed = true;
		}
	}
	if (kept) {
		showUnsaved(path, *kept, changed);
	} else if (!diskSettings(directory, changed, onApplicationThread())) {
		return std::nullopt;
	}
	std::lock_guard<std::mutex> lock(shared.mutex);
	return shared.byPath[path].snapshot(pendingToo);
}

void rememberWritten(const QString &path, const QJsonObject &settings, const QByteArray &content, bool &changed)
{
	const Stamp stamp = stampOf(path);
	Cache &shared = cache();
	QByteArray known;
	{
		std::lock_guard<std::mutex> lock(shared.mutex);
		known = shared.byPath[path].content;
	}
	const bool differs = content != known;
	Replaced replaced;
	std::lock_guard<std::mutex> lock(shared.mutex);
	Model &model = shared.byPath[path];
	if (!model.read || model.unsaved || (model.content.isSharedWith(known) ? differs : content != model.content)) {
		model.version = ++shared.versions;
		changed = true;
	}
	model.read = true;
	replaced.retire(model, model.settings);
	std::swap(replaced.content, model.content);
	model.settings = settings;
	model.content = content;
	model.stamp = stamp;
	model.readAt = now();
	if (model.unsaved)
		replaced.retire(model, model.unsaved);
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

using SettingsFile::Change;

SettingsFile::Outcome changeLocked(const Change &change, const QString &directory, bool &changed)
{
	const QString path = SettingsStorage::filePath(directory);
	const std::optional<QJsonObject> onDisk = diskSettings(directory, changed);
	if (!onDisk)
		return SettingsFile::Outcome::NotRead;
	QJsonObject settings = *onDisk;
	apply(UnsavedSettings::changes(path), settings);
	const QJsonObject before = settings;
	if (!change(settings))
		return SettingsFile::Outcome::Unchanged;

	QByteArray written;
	if (SettingsStorage::write(settings, directory, &written)) {
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
	// The changes queued to be shown at once are among those this change brings: the base is what stands
	// without them.
	const std::optional<SettingsFile::Snapshot> current = currentView(directory, changed, false);
	if (!current)
		return SettingsFile::Outcome::NotRead;
	QJsonObject settings = current->settings;
	if (!change(settings))
		return SettingsFile::Outcome::Unchanged;
	SettingsStorage::keepUnwritten(settings, directory, reason);
	const QString path = SettingsStorage::filePath(directory);
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

// One read-modify-write under the lock file; `changed` tells whether what read() returns changed.
SettingsFile::Outcome writeNow(const Change &change, const QString &directory, bool &changed)
{
	const QString path = SettingsStorage::filePath(directory);
	std::lock_guard<std::recursive_mutex> turn(writers());
	// The lock file lives beside the settings file.
	QDir().mkpath(directory);
	QLockFile lock(path + QStringLiteral(".lock"));
	return acquire(lock) ? changeLocked(change, directory, changed)
			     : changeUnlocked(change, directory, lockFailure(lock), changed);
}

// A change waiting for the writer thread.
struct Job {
	QString directory;
	Change change;
	bool shownAtOnce = false;
	// Whoever waits for the job tells the settings' listeners itself, on its own thread, before it goes on.
	bool callerNotifies = false;
	// On the writer's thread: the job's outcome, and whether what read() returns changed.
	std::function<void(SettingsFile::Outcome outcome, bool changed)> finished;
};

// Writes the jobs of one settings file in one read-modify-write, in their order.
void writeBatch(const QString &directory, std::vector<Job> &batch)
{
	Cache &shared = cache();
	{
		// Whatever changes on disk after the read below is read again by a later job.
		std::lock_guard<std::mutex> lock(shared.mutex);
		shared.byPath[SettingsStorage::filePath(directory)].refreshQueued = false;
	}
	std::vector<bool> changedBy(batch.size(), false);
	bool changed = false;
	const bool onlyReads =
		std::none_of(batch.cbegin(), batch.cend(), [](const Job &job) { return bool(job.change); });
	SettingsFile::Outcome outcome = SettingsFile::Outcome::Unchanged;
	if (onlyReads) {
		if (!diskSettings(directory, changed))
			outcome = SettingsFile::Outcome::NotRead;
	} else {
		outcome = writeNow(
			[&batch, &changedBy](QJsonObject &settings) {
				bool any = false;
				for (size_t n = 0; n < batch.size(); ++n) {
					changedBy[n] = batch[n].change && batch[n].change(settings);
					any = any || changedBy[n];
				}
				return any;
			},
			directory, changed);
	}

	int shownAtOnce = 0;
	bool callerNotifies = false;
	for (const Job &job : batch) {
		shownAtOnce += job.shownAtOnce ? 1 : 0;
		callerNotifies = callerNotifies || job.callerNotifies;
	}
	if (shownAtOnce > 0) {
		Replaced replaced;
		std::lock_guard<std::mutex> lock(shared.mutex);
		Model &model = shared.byPath[SettingsStorage::filePath(directory)];
		model.pendingChanges -= shownAtOnce;
		// The file (or the settings kept unwritten) holds every change shown so far: it stands again.
		if (model.pendingChanges <= 0 && model.pending) {
			model.pendingChanges = 0;
			replaced.retire(model, model.pending);
			model.version = ++shared.versions;
			changed = true;
		}
	}
	if (changed && !callerNotifies)
		notifyChanged(directory);
	for (size_t n = 0; n < batch.size(); ++n) {
		if (!batch[n].finished)
			continue;
		const bool notRead = outcome == SettingsFile::Outcome::NotRead;
		batch[n].finished(notRead || changedBy[n] ? outcome : SettingsFile::Outcome::Unchanged, changed);
	}
}

// The one thread that writes the settings files of this process, so that no other thread waits for a disk, a
// lock file or another OBS. It runs while there is something to write and ends when there is nothing.
void finishBeforeApplicationEnds();

class Writer {
public:
	// What the writer's thread uses is made first, so that it outlives the writer: statics go in the reverse order
	// they were made, and the destructor waits for the last writes.
	Writer()
	{
		cache();
		SettingsFile::notifier();
		UnsavedSettings::paths();
		writers();
		// The writer's notices go to the application's thread: what waits is written before the application
		// goes, not while it is being torn down.
		qAddPostRoutine(finishBeforeApplicationEnds);
	}
	~Writer() { finish(-1); }

	void enqueue(Job job)
	{
		std::unique_lock<std::mutex> lock(mutex);
		queue.push_back(std::move(job));
		if (running)
			return;
		// The thread that ran before ended when its queue did; it leaves at once.
		if (thread.joinable())
			thread.join();
		try {
			thread = std::thread([this]() { run(); });
			running = true;
		} catch (const std::system_error &) {
			// The system has no thread to give: the jobs are written here and now, on the caller's thread,
			// so that none is lost.
			std::deque<Job> jobs;
			jobs.swap(queue);
			lock.unlock();
			for (Job &each : jobs) {
				std::vector<Job> one{std::move(each)};
				writeBatch(one.front().directory, one);
			}
		}
	}

	bool isWriterThread()
	{
		std::lock_guard<std::mutex> lock(mutex);
		return running && std::this_thread::get_id() == thread.get_id();
	}

	// Waits until the queue is written, at most `timeoutMs` (forever when negative).
	bool finish(int timeoutMs)
	{
		std::unique_lock<std::mutex> lock(mutex);
		const auto done = [this]() { return !running; };
		if (timeoutMs < 0)
			idle.wait(lock, done);
		else if (!idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), done))
			return false;
		if (thread.joinable())
			thread.join();
		return true;
	}

	int waiting()
	{
		std::lock_guard<std::mutex> lock(mutex);
		return int(queue.size()) + inBatch;
	}

private:
	void run()
	{
		for (;;) {
			std::vector<Job> batch;
			QString directory;
			{
				std::lock_guard<std::mutex> lock(mutex);
				inBatch = 0;
				if (queue.empty()) {
					running = false;
					idle.notify_all();
					return;
				}
				// Every job of one file that waits now goes into one write; other files' jobs keep
				// their order.
				directory = queue.front().directory;
				for (auto job = queue.begin(); job != queue.end();) {
					if (job->directory != directory) {
						++job;
						continue;
					}
					batch.push_back(std::move(*job));
					job = queue.erase(job);
				}
				inBatch = int(batch.size());
			}
			try {
				writeBatch(directory, batch);
			} catch (...) {
				qCWarning(lcSettings).noquote()
					<< "Settings changes for" << directory << "were lost to an unexpected error";
			}
		}
	}

	std::mutex mutex;
	std::condition_variable idle;
	std::deque<Job> queue;
	int inBatch = 0;
	bool running = false;
	std::thread thread;
};

Writer &writer()
{
	static Writer instance;
	return instance;
}

void finishBeforeApplicationEnds()
{
	writer().finish(kFinishAtApplicationEndMs);
}

void refreshLater(const QString &directory)
{
	Cache &shared = cache();
	{
		std::lock_guard<std::mutex> lock(shared.mutex);
		Model &model = shared.byPath[SettingsStorage::filePath(directory)];
		if (model.refreshQueued)
			return;
		model.refreshQueued = true;
	}
	// A job without a change only reads.
	writer().enqueue(Job{directory, {}, false, false, {}});
}

// What read() returns; the settings' listeners are told when it changed.
std::optional<SettingsFile::Snapshot> toldView(const QString &directory)
{
	bool changed = false;
	std::optional<SettingsFile::Snapshot> current = currentView(directory, changed);
	if (changed)
		notifyChanged(directory);
	return current;
}

// Changes shown at once are applied one after the other, each over the last.
std::mutex &overlayTurn()
{
	static std::mutex mutex;
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

std::optional<QJsonObject> SettingsFile::tryRead(const QString &directory)
{
	std::optional<Snapshot> current = toldView(directory);
	if (!current)
		return std::nullopt;
	return std::move(current->settings);
}

SettingsFile::Snapshot SettingsFile::snapshot(const QString &directory)
{
	return toldView(directory).value_or(Snapshot());
}

SettingsNotifier *SettingsFile::notifier()
{
	static SettingsNotifier instance;
	return &instance;
}

SettingsFile::Outcome SettingsFile::update(const Change &change, const QString &directory)
{
	bool changed = false;
	Outcome outcome = Outcome::NotRead;
	if (writer().isWriterThread()) {
		// A change made while the writer writes (from inside another change) cannot wait for the writer.
		outcome = writeNow(change, directory, changed);
	} else {
		std::promise<std::pair<Outcome, bool>> written;
		std::future<std::pair<Outcome, bool>> result = written.get_future();
		writer().enqueue(Job{directory, change, false, true, [&written](Outcome outcome, bool changedView) {
					     written.set_value({outcome, changedView});
				     }});
		std::tie(outcome, changed) = result.get();
	}
	if (changed)
		notifyChanged(directory);
	return outcome;
}

void SettingsFile::updateLater(Change change, Shown shown, const QString &directory, QObject *context,
			       std::function<void(Outcome outcome)> done)
{
	Job job{directory, change, shown == Shown::AtOnce, false, {}};
	if (done) {
		const bool hasContext = context != nullptr;
		QPointer<QObject> told(context);
		job.finished = [hasContext, told, done](Outcome outcome, bool) {
			postToApplication([hasContext, told, done, outcome]() {
				if (!hasContext || told)
					done(outcome);
			});
		};
	}
	bool changed = false;
	if (job.shownAtOnce) {
		std::lock_guard<std::mutex> turn(overlayTurn());
		currentView(directory, changed);
		Cache &shared = cache();
		QJsonObject view;
		{
			std::lock_guard<std::mutex> lock(shared.mutex);
			Model &model = shared.byPath[SettingsStorage::filePath(directory)];
			view = model.snapshot().settings;
			++model.pendingChanges;
		}
		if (change(view)) {
			Replaced replaced;
			std::lock_guard<std::mutex> lock(shared.mutex);
			Model &model = shared.byPath[SettingsStorage::filePath(directory)];
			replaced.retire(model, model.pending);
			model.pending = view;
			model.version = ++shared.versions;
			changed = true;
		}
	}
	writer().enqueue(std::move(job));
	if (changed)
		notifyChanged(directory);
}

void SettingsFile::updateLaterLogged(Category category, std::function<void(QJsonObject &settings)> change,
				     const QString &directory)
{
	updateLater(
		[change](QJsonObject &settings) {
			change(settings);
			return true;
		},
		Shown::AtOnce, directory, nullptr,
		[category](Outcome outcome) {
			if (outcome == Outcome::NotRead)
				qCDebug(category) << "It's failed to read JSON file.";
			else if (outcome == Outcome::NotWritten)
				qCDebug(category) << "It's failed to write JSON file.";
		});
}

void SettingsFile::leaveApplication()
{
	qRemovePostRoutine(finishBeforeApplicationEnds);
}

bool SettingsFile::finishWrites(int timeoutMs)
{
	// Changes kept because another program held the file may go in now.
	for (const QString &path : UnsavedSettings::paths())
		writer().enqueue(Job{QFileInfo(path).path(), [](QJsonObject &) { return true; }, false, false, {}});
	const int waiting = writer().waiting();
	const bool finished = writer().finish(timeoutMs);
	if (!finished)
		qCWarning(lcSettings, "%d settings changes were still being written after %d ms", waiting, timeoutMs);
	const QStringList unwritten = UnsavedSettings::paths();
	for (const QString &path : unwritten)
		qCWarning(lcSettings).noquote()
			<< "Settings file" << path
			<< "lacks changes that could not be written; they are lost when OBS ends";
	return finished && unwritten.isEmpty();
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
