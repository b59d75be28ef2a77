#include "ui/PresetRenameDialog.h"
#include "ui/UiLog.h"

#include "settings/SettingsFile.h"
#include "settings/Utils.h"
#include "ui/HostStyle.h"
#include "ui/ModuleText.h"
#include "ui_PresetRenameDialog.h"

#include <QDebug>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kPresetCount = 9;

QString presetKey(int number)
{
	return QString::number(number);
}

} // namespace

PresetRenameDialog::PresetRenameDialog(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::PresetRenameDialog>())
{
	ui->setupUi(this);
	applyHostStyleShield(this);
	initNames();
	connect(ui->ApplyButton, &QPushButton::clicked, this, &PresetRenameDialog::apply);

	// The dialog is opened long after the main window's translation scope has closed, so its texts are looked
	// up here rather than left to the form.
	setWindowTitle(ModuleText::text("PresetRename"));
	QLabel *const labels[kPresetCount] = {ui->Preset1Label, ui->Preset2Label, ui->Preset3Label,
					      ui->Preset4Label, ui->Preset5Label, ui->Preset6Label,
					      ui->Preset7Label, ui->Preset8Label, ui->Preset9Label};
	for (int number = 1; number <= kPresetCount; ++number) {
		const QByteArray key = QStringLiteral("Preset%1").arg(number).toUtf8();
		labels[number - 1]->setText(ModuleText::text(key.constData()));
		labels[number - 1]->setBuddy(field(number));
	}
	ui->ApplyButton->setText(ModuleText::text("Apply"));
}

PresetRenameDialog::~PresetRenameDialog() = default;

QLineEdit *PresetRenameDialog::field(int number) const
{
	QLineEdit *const fields[kPresetCount] = {ui->Preset1Edit, ui->Preset2Edit, ui->Preset3Edit,
						 ui->Preset4Edit, ui->Preset5Edit, ui->Preset6Edit,
						 ui->Preset7Edit, ui->Preset8Edit, ui->Preset9Edit};
	return fields[number - 1];
}

void PresetRenameDialog::initNames()
{
	QJsonObject settings;
	const bool read = Utils::readJSONFromFile(settings, Utils::getAppDataPath());
	for (int number = 1; number <= kPresetCount; ++number) {
		const QString key = presetKey(number);
		field(number)->setText(read && settings.contains(key) ? settings.value(key).toString() : key);
	}
}

void PresetRenameDialog::writeNames()
{
	// All nine are written, edited or not, so the file always holds the captions the operator last saw.
	SettingsFile::updateLogged(lcUi, [this](QJsonObject &settings) {
		for (int number = 1; number <= kPresetCount; ++number)
			settings[presetKey(number)] = field(number)->text();
	});
}

void PresetRenameDialog::apply()
{
	writeNames();
	emit presetNamesChanged();
	close();
}
