#pragma once

#include <QDialog>

#include <memory>

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
	std::unique_ptr<Ui::AboutDialog> ui;
};
