#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

#include <memory>

class QLineEdit;
namespace Ui {
class PresetRenameDialog;
}

// Lets the operator name the presets 1 to 19 of one slot's camera (PresetNames keeps them). The names live only in
// the fields and in the settings file; a field left empty leaves its preset without a name. Closed with edits not
// applied (its window's close button, Escape), it asks whether to keep them.
class PresetRenameDialog : public QDialog {
	Q_OBJECT

public:
	// Names the presets of slot `slot` (1..8), whose caption is `camera`.
	PresetRenameDialog(int slot, const QString &camera, QWidget *parent = nullptr);
	~PresetRenameDialog() override;

	int slot() const { return cameraSlot; }

	// Fills the fields from the settings file; an unreadable file shows no names.
	void initNames();
	// Stores the fields as the slot's names, keeping every other key.
	void writeNames();

signals:
	// Emitted after every Apply, also when the settings could not be written, so the buttons are re-read.
	void presetNamesChanged();

protected:
	void closeEvent(QCloseEvent *event) override;
	void reject() override;

private:
	void addFields();
	void apply();
	QStringList fieldTexts() const;
	// True when the operator is asked about edits not applied; the dialog stays open until the answer.
	bool askAboutEdits();

	std::unique_ptr<Ui::PresetRenameDialog> ui;
	int cameraSlot;
	QList<QLineEdit *> fields; // preset n at n - 1
	QStringList shownNames;    // what the fields showed when they were filled
	bool leaving = false;      // the operator answered: close without asking again
};
