#pragma once

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

// Which preset a camera goes to when an OBS scene goes to program (or, in Studio Mode, to preview): the settings
// key "ScenePresets", an array of {"scene": name, "slot": 1..8, "preset": 1..19, "on": "program" | "preview"},
// one entry per scene and moment.
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

	// Reads the key's value; what is not a usable entry is noted in problems() (and logged once).
	static ScenePresetTable fromSettings(const QJsonObject &settings);

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

	// The key's value to store: the usable entries, then those that could not be used.
	QJsonArray toJson() const;

	static QString momentName(Moment on); // "program" or "preview"

private:
	QList<Link> valid;
	QJsonArray kept;
	QStringList reasons;
};
