#pragma once

#include "scenes/ScenePresetTable.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>

class CameraPool;
class QComboBox;
class SceneSource;
namespace Ui {
class ScenePresetDialog;
}

// The scenes of OBS's current scene collection, each with the camera and preset it recalls when it goes to
// program and when it goes to preview in Studio Mode. Scenes of the collection that are linked but no longer exist
// are listed as missing (other collections' links are kept, and not listed), and entries of the settings file that
// cannot be used are listed with the reason; both go only when the operator removes them. Every change is stored at
// once, through the settings file, so hand edits made meanwhile are kept.
class ScenePresetDialog : public QDialog {
	Q_OBJECT

public:
	enum Column { SceneColumn, ProgramCameraColumn, ProgramPresetColumn, PreviewCameraColumn, PreviewPresetColumn };

	// `scenes` may be null (OBS's scenes are not known yet): then the linked scenes are listed.
	ScenePresetDialog(CameraPool *pool, SceneSource *scenes, QWidget *parent = nullptr);
	~ScenePresetDialog() override;

	// Lists the scenes and the settings file's links afresh.
	void refresh();

private:
	using Moment = ScenePresetTable::Moment;

	void setTexts();
	void addSceneRow(const QString &scene, bool exists, const ScenePresetTable &table);
	void addLinkCells(int row, const QString &scene, Moment on, const ScenePresetTable::Link *link);
	void showUnusable(const ScenePresetTable &table);
	// The presets 1 to 19 of `slot` by their names, `chosen` selected.
	static void fillPresets(QComboBox *box, int slot, int chosen);
	void storeLink(const QString &scene, Moment on, const QComboBox *camera, const QComboBox *preset);
	void removeSelected();
	void enableRemove();
	QString collection() const;
	// Applies a change to the links as they stand in the file now. False when the file could not be read.
	bool updateLinks(const std::function<void(ScenePresetTable &)> &change);

	std::unique_ptr<Ui::ScenePresetDialog> ui;
	CameraPool *const pool;
	QPointer<SceneSource> scenes;
};
