#include "scenes/ScenePresetLinker.h"

#include "control/CameraPool.h"
#include "scenes/SceneLog.h"
#include "scenes/SceneSource.h"
#include "settings/OutsideText.h"
#include "settings/SettingsFile.h"
#include "settings/Utils.h"

#include <QJsonArray>
#include <QJsonObject>

#include <mutex>
#include <optional>
#include <vector>

namespace {

QString collectionOf(const SceneSource *scenes)
{
	return scenes ? scenes->collection() : QString();
}

int linkCount(const QJsonObject &settings)
{
	return int(settings.value(QLatin1String(ScenePresetTable::kKey)).toArray().size());
}

} // namespace

// A change OBS made that the links follow.
struct ScenePresetLinker::Edit {
	enum class Kind { RenameScene, Adopt, RenameCollection } kind;
	QString collection; // the collection the edit is made in (RenameCollection: its old name)
	QString from;
	QString to;
};

// The edits not yet handed to the settings' writer, shared with the change that takes them all.
struct ScenePresetLinker::Edits {
	std::mutex mutex;
	std::vector<Edit> waiting;
	bool changeQueued = false; // a change that takes every waiting edit is queued and has not run

	// Applies the edits in their order to the settings; true when the links changed. What each did is added to
	// `said`, for the log once the settings are written.
	static bool apply(QJsonObject &settings, const std::vector<Edit> &edits, QStringList &said)
	{
		std::optional<ScenePresetTable> table;
		bool tableChanged = false;
		bool changed = false;
		const auto store = [&]() {
			if (table && tableChanged)
				settings[QLatin1String(ScenePresetTable::kKey)] = table->toJson();
			changed = changed || tableChanged;
			tableChanged = false;
		};
		QString tableCollection;
		for (const Edit &edit : edits) {
			if (!table || tableCollection != edit.collection) {
				store();
				table = ScenePresetTable::fromSettings(settings, edit.collection);
				tableCollection = edit.collection;
			}
			const QByteArray from = OutsideText::quoted(edit.from);
			const QByteArray to = OutsideText::quoted(edit.to);
			switch (edit.kind) {
			case Edit::Kind::RenameScene:
				if (table->renameScene(edit.from, edit.to)) {
					tableChanged = true;
					said << QStringLiteral("Scene %1 was renamed %2; its presets follow it")
							.arg(QString::fromUtf8(from), QString::fromUtf8(to));
				}
				break;
			case Edit::Kind::Adopt:
				if (table->adopted() > 0) {
					tableChanged = true;
					said << QStringLiteral("%1 scene links stored without a scene collection now "
							       "belong to %2")
							.arg(table->adopted())
							.arg(QString::fromUtf8(OutsideText::quoted(edit.collection)));
				}
				break;
			case Edit::Kind::RenameCollection:
				if (!table->links().isEmpty()) {
					table->renameCollection(edit.to);
					tableCollection = edit.to;
					tableChanged = true;
					said << QStringLiteral(
							"Scene collection %1 was renamed %2; its scene links follow it")
							.arg(QString::fromUtf8(from), QString::fromUtf8(to));
				}
				break;
			}
		}
		store();
		return changed;
	}
};

ScenePresetLinker::ScenePresetLinker(SceneSource *scenes, CameraPool *pool, QObject *parent)
    : QObject(parent), scenes(scenes), pool(pool), edits(std::make_shared<Edits>())
{
	maker.setMaxThreadCount(1);
	connect(scenes, &SceneSource::programSceneChanged, this,
		[this](const QString &scene) { onScene(scene, ScenePresetTable::Moment::Program); });
	connect(scenes, &SceneSource::previewSceneChanged, this,
		[this](const QString &scene) { onScene(scene, ScenePresetTable::Moment::Preview); });
	connect(scenes, &SceneSource::sceneRenamed, this, [this](const QString &from, const QString &to) {
		edit({Edit::Kind::RenameScene, collectionOf(this->scenes), from, to});
	});
	connect(scenes, &SceneSource::collectionLoaded, this, &ScenePresetLinker::onCollectionLoaded);
	connect(scenes, &SceneSource::collectionRenamed, this, [this](const QString &from, const QString &to) {
		edit({Edit::Kind::RenameCollection, from, from, to});
	});
	// A large table is made before the scene switch that needs it.
	connect(SettingsFile::notifier(), &SettingsNotifier::changed, this, [this]() { links(); });
}

ScenePresetLinker::~ScenePresetLinker()
{
	maker.clear();
	maker.waitForDone();
}

const ScenePresetTable *ScenePresetLinker::links()
{
	const SettingsFile::Snapshot settings = SettingsFile::snapshot();
	const QString collection = collectionOf(scenes);
	if (table && settings.version == tableVersion && collection == tableCollection)
		return table.get();
	if (linkCount(settings.settings) <= kLinksAtOnce) {
		take(std::make_shared<const ScenePresetTable>(
			     ScenePresetTable::fromSettings(settings.settings, collection)),
		     settings.version, collection);
		return table.get();
	}
	if (settings.version != makingVersion || collection != makingCollection) {
		makingVersion = settings.version;
		makingCollection = collection;
		QPointer<ScenePresetLinker> self(this);
		const quint64 version = settings.version;
		const QJsonObject read = settings.settings;
		// Only the newest settings are worth a table: a task that waited while newer ones came does nothing.
		const quint64 request = ++*newest;
		maker.start([self, read, version, collection, request, newest = newest]() {
			if (*newest != request)
				return;
			auto made = std::make_shared<const ScenePresetTable>(
				ScenePresetTable::fromSettings(read, collection));
			// The destructor waits for this task, so the linker is there; the call is dropped if it goes
			// before the call is delivered. The table is handed on, never freed with the call.
			QMetaObject::invokeMethod(
				self.data(),
				[self, made = std::move(made), version, collection]() mutable {
					self->take(std::move(made), version, collection);
				},
				Qt::QueuedConnection);
		});
	}
	return table.get();
}

void ScenePresetLinker::take(std::shared_ptr<const ScenePresetTable> made, quint64 version, const QString &collection)
{
	std::shared_ptr<const ScenePresetTable> dropped = std::move(made);
	// A table made from older settings than the one in use is of no use.
	if (!table || version >= tableVersion) {
		dropped.swap(table);
		tableVersion = version;
		tableCollection = collection;
		emit linksChanged();
	}
	// A table of 100,000 links takes longer than a frame to free: the maker's thread frees it.
	if (dropped && dropped->links().size() > kLinksAtOnce)
		maker.start([freed = std::move(dropped)]() {});
}

void ScenePresetLinker::onScene(const QString &scene, ScenePresetTable::Moment on)
{
	if (scenes && scenes->isLoading()) {
		qCDebug(lcScenes, "Scene %s went to %s while a scene collection loads: no preset is recalled",
			OutsideText::quoted(scene).constData(), qUtf8Printable(ScenePresetTable::momentName(on)));
		return;
	}
	const ScenePresetTable *current = links();
	const ScenePresetTable::Link *link = current ? current->find(scene, on) : nullptr;
	if (!link)
		return;
	CameraDoor *door = pool->door(link->slot);
	const CameraDoor::Outcome outcome =
		door ? door->callPreset(link->preset, CameraCaller{CameraOrigin::Scene})
		     : CameraDoor::Outcome::refused(QStringLiteral("the controller is shutting down"));
	if (outcome.ok)
		qCInfo(lcScenes, "Scene %s went to %s: preset %d on %s (slot %d)",
		       OutsideText::quoted(scene).constData(), qUtf8Printable(ScenePresetTable::momentName(on)),
		       link->preset, OutsideText::quoted(pool->caption(link->slot)).constData(), link->slot);
	else
		qCInfo(lcScenes, "Scene %s went to %s: preset %d is not recalled, %s",
		       OutsideText::quoted(scene).constData(), qUtf8Printable(ScenePresetTable::momentName(on)),
		       link->preset, qUtf8Printable(outcome.error));
}

void ScenePresetLinker::onCollectionLoaded(const QString &collection)
{
	qCInfo(lcScenes, "Scene collection %s loaded: its scene links recall presets from now on",
	       OutsideText::quoted(collection).constData());
	links();
	if (!collection.isEmpty())
		edit({Edit::Kind::Adopt, collection, QString(), QString()});
}

void ScenePresetLinker::edit(const Edit &change)
{
	{
		std::lock_guard<std::mutex> lock(edits->mutex);
		edits->waiting.push_back(change);
		// The change queued before takes this edit with it: renames that come quickly are written together.
		if (edits->changeQueued)
			return;
		edits->changeQueued = true;
	}
	const std::shared_ptr<Edits> shared = edits;
	const auto said = std::make_shared<QStringList>();
	// Shown once written: rewriting every link is not a thing for the UI thread.
	SettingsFile::updateLater(
		[shared, said](QJsonObject &settings) {
			std::vector<Edit> taken;
			{
				std::lock_guard<std::mutex> lock(shared->mutex);
				taken.swap(shared->waiting);
				shared->changeQueued = false;
			}
			said->clear();
			return Edits::apply(settings, taken, *said);
		},
		SettingsFile::Shown::WhenWritten, Utils::getAppDataPath(), this,
		[shared, said](SettingsFile::Outcome outcome) {
			if (outcome == SettingsFile::Outcome::NotRead) {
				// The change never ran: what it would have taken goes, as a change of a file that
				// cannot be read does.
				std::lock_guard<std::mutex> lock(shared->mutex);
				shared->waiting.clear();
				shared->changeQueued = false;
			}
			if (outcome != SettingsFile::Outcome::Written)
				return;
			for (const QString &line : std::as_const(*said))
				qCInfo(lcScenes, "%s", qUtf8Printable(line));
		});
}
