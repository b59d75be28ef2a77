#include "ui/PanTiltLimitSettingDialog.h"

#include "ui/HostStyle.h"
#include "settings/ModuleText.h"
#include "ui_PanTiltLimitSettingDialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace {

// Right and up are typed as positive angles, left and down as negative ones; 0 is allowed on every side. The
// ranges are the mechanical ones of the product line: 170 degrees each way of pan, 90 up and 30 down. A leading
// zero never passes, so "05" cannot be confirmed by accident.
const char *const kPanRightPattern = "^(170|1[0-6][0-9]|[1-9]?[0-9])$";
const char *const kPanLeftPattern = "^(0|-(170|1[0-6][0-9]|[1-9]?[0-9]))$";
const char *const kTiltUpPattern = "^(90|[1-8]?[0-9])$";
const char *const kTiltDownPattern = "^(0|-(30|[1-2]?[0-9]))$";

void setValidator(QLineEdit *edit, const char *pattern, QObject *owner)
{
	edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QString::fromLatin1(pattern)), owner));
}

void setTexts(QWidget *widget, const char *key)
{
	const QString text = ModuleText::text(key);
	widget->setAccessibleName(text);
	widget->setToolTip(text);
}

} // namespace

PanTiltLimitSettingDialog::PanTiltLimitSettingDialog(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::PanTiltLimitSettingDialog>())
{
	ui->setupUi(this);
	applyHostStyleShield(this);
	// Named registration lets queued connections and signal spies carry the enums.
	qRegisterMetaType<PanTiltLimitSettingDialog::CommandType>("PanTiltLimitSettingDialog::CommandType");
	qRegisterMetaType<PanTiltLimitSettingDialog::LimitStatus>("PanTiltLimitSettingDialog::LimitStatus");

	updateUI(LimitsOff);
	setPanLimitRange();
	setTiltLimitRange();

	connect(ui->PanTiltLimitButton, &QPushButton::toggled, this, [this](bool on) {
		updateUI(on ? LimitsOn : LimitsOff);
		emit triggered(LimitSwitch, on ? 1 : 0);
	});
	// returnPressed only comes when the validator accepts the whole text, so the value is always in range.
	const struct {
		QLineEdit *edit;
		CommandType type;
	} limitFields[] = {{ui->TiltUpLimitEdit, TiltUp},
			   {ui->PanLeftLimitEdit, PanLeft},
			   {ui->TiltDownLimitEdit, TiltDown},
			   {ui->PanRightLimitEdit, PanRight}};
	for (const auto &field : limitFields) {
		QLineEdit *edit = field.edit;
		const CommandType type = field.type;
		connect(edit, &QLineEdit::returnPressed, this,
			[this, edit, type]() { emit triggered(type, edit->text().toInt(nullptr, 10)); });
	}
	connect(ui->PTZSpeedCompButton, &QPushButton::toggled, this,
		[this](bool on) { emit triggered(SpeedComp, on ? 1 : 0); });

	setWindowTitle(ModuleText::text("PanTiltLimitSetting"));
	ui->PanTiltLimitLabel->setText(ModuleText::text("PanTiltLimit"));
	ui->TiltUpLimitLabel->setText(ModuleText::text("TiltUpLimit"));
	ui->TiltDownLimitLabel->setText(ModuleText::text("TiltDownLimit"));
	ui->PanLeftLimitLabel->setText(ModuleText::text("PanLeftLimit"));
	ui->PanRightLimitLabel->setText(ModuleText::text("PanRightLimit"));
	ui->PTZSpeedCompLabel->setText(ModuleText::text("PTZSpeedComp"));
	ui->TiltUpLimitLabel->setBuddy(ui->TiltUpLimitEdit);
	ui->TiltDownLimitLabel->setBuddy(ui->TiltDownLimitEdit);
	ui->PanLeftLimitLabel->setBuddy(ui->PanLeftLimitEdit);
	ui->PanRightLimitLabel->setBuddy(ui->PanRightLimitEdit);
	// The switches are pictures only; screen readers and tool tips get their names from the locale table.
	setTexts(ui->PanTiltLimitButton, "PanTiltLimitSwitch");
	setTexts(ui->PTZSpeedCompButton, "PTZSpeedCompSwitch");
}

PanTiltLimitSettingDialog::~PanTiltLimitSettingDialog() = default;

void PanTiltLimitSettingDialog::updateUI(LimitStatus status)
{
	switch (status) {
	case LimitsOff:
		ui->TiltUpLimitEdit->setEnabled(false);
		ui->TiltDownLimitEdit->setEnabled(false);
		ui->PanLeftLimitEdit->setEnabled(false);
		ui->PanRightLimitEdit->setEnabled(false);
		ui->TiltUpLimitEdit->setText(QString());
		ui->TiltDownLimitEdit->setText(QString());
		ui->PanLeftLimitEdit->setText(QString());
		ui->PanRightLimitEdit->setText(QString());
		break;
	case LimitsOn:
		ui->TiltUpLimitEdit->setEnabled(true);
		ui->TiltDownLimitEdit->setEnabled(true);
		ui->PanLeftLimitEdit->setEnabled(true);
		ui->PanRightLimitEdit->setEnabled(true);
		break;
	}
}

void PanTiltLimitSettingDialog::setPanLimitRange()
{
	setValidator(ui->PanRightLimitEdit, kPanRightPattern, this);
	setValidator(ui->PanLeftLimitEdit, kPanLeftPattern, this);
}

void PanTiltLimitSettingDialog::setTiltLimitRange()
{
	setValidator(ui->TiltUpLimitEdit, kTiltUpPattern, this);
	setValidator(ui->TiltDownLimitEdit, kTiltDownPattern, this);
}

void PanTiltLimitSettingDialog::setLastLimit(const QString &panLeft, const QString &panRight, const QString &tiltUp,
					     const QString &tiltDown)
{
	ui->PanLeftLimitEdit->setText(panLeft);
	ui->PanRightLimitEdit->setText(panRight);
	ui->TiltUpLimitEdit->setText(tiltUp);
	ui->TiltDownLimitEdit->setText(tiltDown);
}

void PanTiltLimitSettingDialog::setEnabledPanTiltLimitButton(bool enabled)
{
	ui->PanTiltLimitButton->setEnabled(enabled);
}

void PanTiltLimitSettingDialog::setEnabledPTZSpeedComp(bool enabled)
{
	ui->PTZSpeedCompButton->setEnabled(enabled);
}
