#pragma once

#include <QDialog>

namespace Ui {
class AboutDialog;
}

// The small fixed-size window of the Help menu: logo, web-site line, help picture, rights notice and version.
class AboutDialog : public QDialog {
	Q_OBJECT

public:
	explicit AboutDialog(QWidget *parent = nullptr);
	~AboutDialog() override;

private:
	Ui::AboutDialog *ui;
};
