#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class QPushButton;
class QMenu;
namespace Ui {
class MainDialog;
}

// The controller window: eight camera slots, the camera controls and the menus.
class MainDialog : public QDialog {
	Q_OBJECT

public:
	explicit MainDialog(QWidget *parent = nullptr);
	~MainDialog() override;

	// Sets the eight slot captions from the settings: a stored nickname, or the localized slot name.
	void updateCameraName();

public slots:
	void setMenuWidth();
	void showAdvanceView();
	void hideAdvanceView();
	void setStatusVisible(bool visible);

private:
	void setupViewUI();
	QPushButton *cameraButton(int slot) const;

	std::unique_ptr<Ui::MainDialog> ui;
	QMenu *viewMenu = nullptr;
};
