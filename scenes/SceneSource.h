#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// Where the scene-linked presets hear of OBS's scenes. The host's scenes are reached in plugin/ through the
// front-end API; everything else knows only this interface, so it runs and is tested without a host. Signals
// arrive on the UI thread.
class SceneSource : public QObject {
	Q_OBJECT

public:
	using QObject::QObject;

	// The scenes of the current scene collection, in OBS's order.
	virtual QStringList sceneNames() const = 0;
	// OBS's sources that show video (captures, media, NDI, colours, ...), scenes and groups aside, by name.
	virtual QStringList videoSourceNames() const = 0;
	// The sources the program shows now: every visible item of the program scene, and of the scenes and groups
	// nested in it, by name.
	virtual QStringList programSourceNames() const = 0;
	// The current scene collection's name; empty while it is not known.
	QString collection() const { return current; }
	// From the start of a scene collection change (and from OBS's start) until the collection has loaded. The
	// scene changes meanwhile are OBS setting up the collection's scenes, not the operator switching.
	bool isLoading() const { return loading; }
	// Whether OBS is in Studio Mode (a preview beside the program).
	bool isStudioMode() const { return studio; }

signals:
	void programSceneChanged(const QString &scene);
	// Only while Studio Mode is on: the scene that goes to program at the next cut.
	void previewSceneChanged(const QString &scene);
	void sceneRenamed(const QString &from, const QString &to);
	// Any source was renamed, scenes included (after sceneRenamed for a scene).
	void sourceRenamed(const QString &from, const QString &to);
	// What programSourceNames() tells may have changed: another program scene, an item shown, hidden, added or
	// removed in it or in a scene nested in it, a rename, another scene collection.
	void programSourcesChanged();
	// Scenes came or went, or another scene collection was loaded.
	void scenesChanged();
	// A scene collection finished loading, at OBS's start or when the operator chose one.
	void collectionLoaded(const QString &collection);
	void collectionRenamed(const QString &from, const QString &to);
	void studioModeChanged(bool on);

protected:
	void beginLoading() { loading = true; }
	void setStudioMode(bool on)
	{
		if (studio == on)
			return;
		studio = on;
		emit studioModeChanged(on);
	}
	void endLoading(const QString &collection)
	{
		loading = false;
		current = collection;
		emit collectionLoaded(collection);
	}
	void renameCollection(const QString &to)
	{
		const QString from = current;
		current = to;
		if (!from.isEmpty() && from != to)
			emit collectionRenamed(from, to);
	}

private:
	bool loading = false;
	bool studio = false;
	QString current;
};
