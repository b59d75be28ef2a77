#include "ui/PresetRenameDialog.h"
#include "ui/UiLog.h"

#include "settings/SettingsFile.h"
#include "ui/HostStyle.h"
#include "ui/ModalBox.h"
#include "settings/ModuleText.h"
#include "settings/PresetNames.h"
#include "ui_PresetRenameDialog.h"

#include <QCloseEvent>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace {

// Presets 1 to 9 (the buttons) in the first column, 10 to 19 ("10+") in the second.
constexpr int kFirstColumnPresets = 9;
constexpr QSize kLabelSize(80, 28);
constexpr QSize kFieldSize(200, 28);

} // namespace

PresetRenameDialog::PresetRenameDialog(int slot, const QString &camera, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::PresetRenameDialog>()), cameraSlot(slot)
{
	ui->setupUi(this);
	addFields();
	// After the fields exist: the shield keeps their designed sizes under the host's theme.
	applyHostStyleShield(this);
	initNames();
	connect(ui->ApplyButton, &QPushButton::clicked, this, &PresetRenameDialog::apply);

	// The dialog is opened long after the main window's translation scope has closed, so its texts are looked
	// up here rather than left to the form.
	setWindowTitle(ModuleText::text("PresetRenameTitle").arg(camera));
	ui->ApplyButton->setText(ModuleText::text("Apply"));
}

PresetRenameDialog::~PresetRenameDialog() = default;

void PresetRenameDialog::addFields()
{
	for (int preset = PresetNames::kFirstPreset; preset <= PresetNames::kLastPreset; ++preset) {
		auto *label = new QLabel(ModuleText::text("PresetNumber").arg(preset), this);
		label->setObjectName(QStringLiteral("Preset%1Label").arg(preset));
		label->setMinimumSize(kLabelSize);
		label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
		auto *field = new QLineEdit(this);
		field->setObjectName(QStringLiteral("Preset%1Edit").arg(preset));
		field->setMinimumSize(kFieldSize);
		label->setBuddy(field);
		const bool second = preset > kFirstColumnPresets;
		const int row = second ? preset - kFirstColumnPresets - 1 : preset - 1;
		ui->PresetGrid->addWidget(label, row, second ? 2 : 0);
		ui->PresetGrid->addWidget(field, row, second ? 3 : 1);
		fields << field;
	}
	// Tab walks the presets in order, down the first column, then down the second.
	for (int i = 1; i < fields.size(); ++i)
		setTabOrder(fields.at(i - 1), fields.at(i));
	setTabOrder(fields.last(), ui->ApplyButton);
}

void PresetRenameDialog::initNames()
{
	const QStringList names = PresetNames::read(SettingsFile::read(), cameraSlot);
	for (int i = 0; i < fields.size(); ++i) {
		fields.at(i)->setText(names.value(i));
		fields.at(i)->setPlaceholderText(QString::number(PresetNames::kFirstPreset + i));
	}
	shownNames = fieldTexts();
}

QStringList PresetRenameDialog::fieldTexts() const
{
	QStringList texts;
	for (const QLineEdit *field : fields)
		texts << field->text().trimmed();
	return texts;
}

void PresetRenameDialog::writeNames()
{
	// All nineteen are written, edited or not: from now on the slot has names of its own, those the operator
	// last saw.
	const QStringList names = fieldTexts();
	SettingsFile::updateLaterLogged(
		lcUi, [slot = cameraSlot, names](QJsonObject &settings) { PresetNames::store(settings, slot, names); });
}

void PresetRenameDialog::apply()
{
	writeNames();
	emit presetNamesChanged();
	leaving = true;
	close();
}

void PresetRenameDialog::closeEvent(QCloseEvent *event)
{
	if (askAboutEdits())
		event->ignore();
	else
		QDialog::closeEvent(event);
}

void PresetRenameDialog::reject()
{
	if (!askAboutEdits())
		QDialog::reject();
}

bool PresetRenameDialog::askAboutEdits()
{
	if (leaving || fieldTexts() == shownNames)
		return false;
	auto *box = new QMessageBox(QMessageBox::Question, windowTitle(), ModuleText::text("PresetNamesUnsaved"),
				    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
	box->setObjectName(QStringLiteral("UnsavedNamesBox"));
	ModalBox::open(box, this, [this](int answer) {
		// After the close that asked has run its course: a close from inside it would be no close.
		QMetaObject::invokeMethod(
			this,
			[this, answer]() {
				if (answer == QMessageBox::Save) {
					apply();
				} else if (answer == QMessageBox::Discard) {
					leaving = true;
					close();
				}
			},
			Qt::QueuedConnection);
	});
	return true;
}
