#include "ui/AboutDialog.h"

#include "kavren-version.h"
#include "ui/HostStyle.h"
#include "settings/ModuleText.h"
#include "ui_AboutDialog.h"

AboutDialog::AboutDialog(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::AboutDialog>())
{
	ui->setupUi(this);
	applyHostStyleShield(this);
	showLogo(ui->LogoLabel, QStringLiteral(":/resource/images/About us-logo.svg"));
	setWindowTitle(ModuleText::text("AboutUs"));
	// The web-site line and the rights notice live in the locale file so a distributor can change them without
	// touching the form; the version comes from the build, so it can never disagree with the module.
	ui->WebsiteLabel->setText(ModuleText::text("AboutWebsite"));
	ui->CopyrightLabel->setText(ModuleText::text("AboutCopyright"));
	ui->VersionLabel->setText(QStringLiteral("V") + QStringLiteral(KAVREN_VERSION));
}

AboutDialog::~AboutDialog() = default;
