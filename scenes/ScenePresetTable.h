#pragma once

#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Which preset a camera goes to when an OBS scene goes to program (or, in Studio Mode, to preview): the settings
// key "ScenePresets", an array of {"scene": name, "slot": 1..8, "preset": 1..19, "on": "program" | "preview",
// "collection": name}, one entry per scene and moment of a scene collection.
//
// A table holds the links of one scene collection: scenes of the same name in other collections are other scenes.
// The entries of other collections are kept as they stand. An entry without a collection, as stored before links
// belonged to one, is taken into the table's collection, and written back as its.
//
// Content that is not such an entry is left alone: it is named in a log line when read, kept in the file when
// the table is written back, and only goes when the operator removes it.
class ScenePresetTable {
public:
	enum class Moment { Program, Preview };
	struct Link {
		QString scene;
		int slot = 0;
		int preset = 0;
		Moment on = Moment::Program;
		bool operator==(const Link &other) const
		{
			return scene == other.scene && slot == other.slot && preset == other.preset && on == other.on;
		}
	};

	static constexpr const char *kKey = "ScenePresets";

	// Reads the key's value for the scene collection named `collection` (empty: not known, when only entries
	// without a collection are its); what is not a usable entry is noted in problems() (and logged once).
	static ScenePresetTable fromSettings(const QJsonObject &settings, const QString &collection = QString());

	const QList<Link> &links() const { return valid; }
	// The entries that could not be used, as they stand in the file, and why.
	const QJsonArray &unusable() const { return kept; }
	const QStringList &problems() const { return reasons; }

	// The link of a scene at a moment, if any.
	const Link *find(const QString &scene, Moment on) const;
	// Links a scene at a moment to a slot's preset, in place of its link for that moment, if any.
	void setLink(const Link &link);
	// Unlinks a scene at a moment.
	void clearLink(const QString &scene, Moment on);
	// Unlinks a scene at every moment.
	void removeScene(const QString &scene);
	// Removes what could not be used, by its index in unusable().
	void dropUnusable(int index);
	// A scene was renamed in OBS: its links follow it. True when something changed.
	bool renameScene(const QString &from, const QString &to);
	// The scene collection was renamed: its links follow it.
	void renameCollection(const QString &to) { collection = to; }
	// How many entries without a collection were taken into this one.
	int adopted() const { return adoptedCount; }

	// The key's value to store: the usable entries, then those that could not be used, then the other
	// collections'.
	QJsonArray toJson() const;

	static QString momentName(Moment on); // "program" or "preview"

private:
	using Key = QPair<QString, int>; // a scene and a moment
	static Key keyOf(const QString &scene, Moment on) { return {scene, int(on)}; }
	void reindex();

	QString collection;
	QList<Link> valid;
	QHash<Key, int> index; // where in `valid` each scene's link for a moment is
	QJsonArray kept;
	QStringList reasons;
	QJsonArray others; // the entries of other scene collections
	int adoptedCount = 0;
};
