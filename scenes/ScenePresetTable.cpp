#include "scenes/ScenePresetTable.h"

#include "scenes/SceneLog.h"
#include "settings/SettingsFile.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <mutex>

namespace {

constexpr int kSlots = SettingsFile::kSlotCount;
constexpr int kMaxPreset = SettingsFile::kLastPreset;
const QString kCollection = QStringLiteral("collection");

QString shown(const QJsonValue &value)
{
	const QByteArray text = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
	return QString::fromUtf8(text.mid(1, text.size() - 2)).left(80);
}

// Why an entry cannot be used, or an empty text when it can; `link` is filled when it can.
QString readLink(const QJsonValue &value, ScenePresetTable::Link &link)
{
	if (!value.isObject())
		return QStringLiteral("not an object");
	const QJsonObject entry = value.toObject();
	const QJsonValue scene = entry.value(QStringLiteral("scene"));
	const QJsonValue slot = entry.value(QStringLiteral("slot"));
	const QJsonValue preset = entry.value(QStringLiteral("preset"));
	const QJsonValue on = entry.value(QStringLiteral("on"));
	if (!scene.isString() || scene.toString().isEmpty())
		return QStringLiteral("\"scene\" is not a scene name");
	if (!slot.isDouble() || slot.toDouble() != slot.toInt() || slot.toInt() < 1 || slot.toInt() > kSlots)
		return QStringLiteral("\"slot\" is not 1 to %1").arg(kSlots);
	if (!preset.isDouble() || preset.toDouble() != preset.toInt() || preset.toInt() < 1 ||
	    preset.toInt() > kMaxPreset)
		return QStringLiteral("\"preset\" is not 1 to %1").arg(kMaxPreset);
	if (on.toString() != QLatin1String("program") && on.toString() != QLatin1String("preview"))
		return QStringLiteral("\"on\" is not \"program\" or \"preview\"");
	if (entry.contains(kCollection) && !entry.value(kCollection).isString())
		return QStringLiteral("\"collection\" is not a scene collection's name");
	link.scene = scene.toString();
	link.slot = slot.toInt();
	link.preset = preset.toInt();
	link.on = on.toString() == QLatin1String("program") ? ScenePresetTable::Moment::Program
							    : ScenePresetTable::Moment::Preview;
	return QString();
}

QJsonObject toEntry(const ScenePresetTable::Link &link, const QString &collection)
{
	QJsonObject entry{{QStringLiteral("scene"), link.scene},
			  {QStringLiteral("slot"), link.slot},
			  {QStringLiteral("preset"), link.preset},
			  {QStringLiteral("on"), ScenePresetTable::momentName(link.on)}};
	if (!collection.isEmpty())
		entry.insert(kCollection, collection);
	return entry;
}

// The scene collection an entry belongs to; empty for an entry stored before links belonged to one.
QString collectionOf(const QJsonValue &entry)
{
	return entry.toObject().value(kCollection).toString();
}

} // namespace

QString ScenePresetTable::momentName(Moment on)
{
	return on == Moment::Program ? QStringLiteral("program") : QStringLiteral("preview");
}

ScenePresetTable ScenePresetTable::fromSettings(const QJsonObject &settings, const QString &collection)
{
	ScenePresetTable table;
	table.collection = collection;
	const QJsonValue value = settings.value(QLatin1String(kKey));
	if (value.isUndefined() || value.isNull())
		return table;
	if (!value.isArray()) {
		table.kept.append(value);
		table.reasons << QStringLiteral("\"%1\" is not an array; it is ignored").arg(QLatin1String(kKey));
	} else {
		for (const QJsonValue &entry : value.toArray()) {
			const QString owner = collectionOf(entry);
			if (!owner.isEmpty() && owner != collection) {
				table.others.append(entry);
				continue;
			}
			Link link;
			QString why = readLink(entry, link);
			if (why.isEmpty() && table.index.contains(keyOf(link.scene, link.on)))
				why = QStringLiteral("the scene already has a preset for this moment");
			if (!why.isEmpty()) {
				table.kept.append(entry);
				table.reasons << QStringLiteral("%1 entry %2 is ignored: %3")
							 .arg(QLatin1String(kKey), shown(entry), why);
				continue;
			}
			table.index.insert(keyOf(link.scene, link.on), table.valid.size());
			table.valid << link;
			if (owner.isEmpty() && !collection.isEmpty())
				++table.adoptedCount;
		}
	}
	// The table is read again whenever the settings change; what cannot be used is said once, until it changes.
	// Tables are made on the UI thread and on others (the settings' writer, the linker's).
	static std::mutex saying;
	static QStringList lastSaid;
	std::lock_guard<std::mutex> lock(saying);
	if (table.reasons != lastSaid) {
		for (const QString &reason : std::as_const(table.reasons))
			qCWarning(lcScenes, "%s", qUtf8Printable(reason));
		lastSaid = table.reasons;
	}
	return table;
}

const ScenePresetTable::Link *ScenePresetTable::find(const QString &scene, Moment on) const
{
	const auto found = index.constFind(keyOf(scene, on));
	return found == index.cend() ? nullptr : &valid.at(*found);
}

void ScenePresetTable::setLink(const Link &link)
{
	const auto found = index.constFind(keyOf(link.scene, link.on));
	if (found != index.cend()) {
		valid[*found] = link;
		return;
	}
	index.insert(keyOf(link.scene, link.on), valid.size());
	valid << link;
}

void ScenePresetTable::clearLink(const QString &scene, Moment on)
{
	valid.erase(std::remove_if(valid.begin(), valid.end(),
				   [&](const Link &link) { return link.scene == scene && link.on == on; }),
		    valid.end());
	reindex();
}

void ScenePresetTable::reindex()
{
	index.clear();
	for (int position = 0; position < valid.size(); ++position)
		if (!index.contains(keyOf(valid.at(position).scene, valid.at(position).on)))
			index.insert(keyOf(valid.at(position).scene, valid.at(position).on), position);
}

void ScenePresetTable::removeScene(const QString &scene)
{
	clearLink(scene, Moment::Program);
	clearLink(scene, Moment::Preview);
}

void ScenePresetTable::dropUnusable(int index)
{
	if (index < 0 || index >= kept.size())
		return;
	kept.removeAt(index);
	reasons.removeAt(index);
}

bool ScenePresetTable::renameScene(const QString &from, const QString &to)
{
	bool renamed = false;
	for (Link &link : valid) {
		if (link.scene == from) {
			link.scene = to;
			renamed = true;
		}
	}
	if (renamed)
		reindex();
	return renamed;
}

QJsonArray ScenePresetTable::toJson() const
{
	QJsonArray entries;
	for (const Link &link : valid)
		entries.append(toEntry(link, collection));
	// A key that was not an array at all is written back as one element, so it is never lost.
	for (const QJsonArray &entriesAsTheyStand : {kept, others})
		for (const QJsonValue &entry : entriesAsTheyStand)
			entries.append(entry);
	return entries;
}
