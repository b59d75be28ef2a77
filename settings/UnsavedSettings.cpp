#include "settings/UnsavedSettings.h"

#include <map>
#include <mutex>

namespace {

struct Unsaved {
	QJsonObject object;
	QByteArray content;
	UnsavedSettings::Changes changes;
};

struct Store {
	std::mutex mutex;
	std::map<QString, Unsaved> byPath;
};

Store &store()
{
	static Store instance;
	return instance;
}

} // namespace

bool UnsavedSettings::keep(const QString &path, const QJsonObject &object, const QByteArray &content)
{
	Store &unsaved = store();
	std::lock_guard<std::mutex> lock(unsaved.mutex);
	const auto [entry, began] = unsaved.byPath.try_emplace(path);
	entry->second.object = object;
	entry->second.content = content;
	return began;
}

bool UnsavedSettings::forget(const QString &path)
{
	Store &unsaved = store();
	std::lock_guard<std::mutex> lock(unsaved.mutex);
	return unsaved.byPath.erase(path) > 0;
}

std::optional<QJsonObject> UnsavedSettings::object(const QString &path)
{
	Store &unsaved = store();
	std::lock_guard<std::mutex> lock(unsaved.mutex);
	const auto found = unsaved.byPath.find(path);
	if (found == unsaved.byPath.end())
		return std::nullopt;
	return found->second.object;
}

std::optional<std::string> UnsavedSettings::content(const std::string &path)
{
	Store &unsaved = store();
	std::lock_guard<std::mutex> lock(unsaved.mutex);
	const auto found = unsaved.byPath.find(QString::fromStdString(path));
	if (found == unsaved.byPath.end())
		return std::nullopt;
	return found->second.content.toStdString();
}

void UnsavedSettings::addChanges(const QString &path, const Changes &changes)
{
	Store &unsaved = store();
	std::lock_guard<std::mutex> lock(unsaved.mutex);
	const auto found = unsaved.byPath.find(path);
	if (found == unsaved.byPath.end())
		return;
	for (auto change = changes.cbegin(); change != changes.cend(); ++change)
		found->second.changes.insert(change.key(), change.value());
}

UnsavedSettings::Changes UnsavedSettings::changes(const QString &path)
{
	Store &unsaved = store();
	std::lock_guard<std::mutex> lock(unsaved.mutex);
	const auto found = unsaved.byPath.find(path);
	return found == unsaved.byPath.end() ? Changes() : found->second.changes;
}

QStringList UnsavedSettings::paths()
{
	Store &unsaved = store();
	std::lock_guard<std::mutex> lock(unsaved.mutex);
	QStringList paths;
	for (const auto &entry : unsaved.byPath)
		paths << entry.first;
	return paths;
}
