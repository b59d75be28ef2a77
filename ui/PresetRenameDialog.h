#pragma once

#include <QDialog>

#include <memory>

class QLineEdit;
namespace Ui {
class PresetRenameDialog;
}

// Lets the operator caption the nine preset buttons. The captions are global (whichever camera is connected) and
// live only in the fields and in the settings file under the keys "1" ... "9".
class PresetRenameDialog : public QDialog {
	Q_OBJECT

public:
	explicit PresetRenameDialog(QWidget *parent = nullptr);
	~PresetRenameDialog() override;

	// Fills the nine fields from the settings file; a missing key, or an unreadable file, shows the digit.
	void initNames();
	// Stores the nine fields in the settings file, keeping every other key.
	void writeNames();

signals:
	// Emitted after every Apply, also when the settings could not be written, so the buttons are re-read.
	void presetNamesChanged();

private:
	void apply();
	QLineEdit *field(int number) const;

	std::unique_ptr<Ui::PresetRenameDialog> ui;
};
