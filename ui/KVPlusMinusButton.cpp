#include "ui/KVPlusMinusButton.h"
#include "ui/UiLog.h"

#include "settings/Utils.h"
#include "settings/ModuleText.h"
#include "ui_KVPlusMinusButton.h"

#include <QDebug>

KVPlusMinusButton::KVPlusMinusButton(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::KVPlusMinusButton>())
{
	ui->setupUi(this);
	// The field only shows what the buttons or the camera put there; typing into it would bypass the bounds.
	ui->InputEdit->setEnabled(false);

	// "+" and "-" alone tell a screen reader little.
	ui->PlusButton->setAccessibleName(ModuleText::text("IncreaseButton"));
	ui->PlusButton->setToolTip(ModuleText::text("IncreaseButton"));
	ui->MinusButton->setAccessibleName(ModuleText::text("DecreaseButton"));
	ui->MinusButton->setToolTip(ModuleText::text("DecreaseButton"));

	connect(ui->PlusButton, &QPushButton::clicked, this, [this]() { stepUp(); });
	connect(ui->MinusButton, &QPushButton::clicked, this, [this]() { stepDown(); });
}

KVPlusMinusButton::~KVPlusMinusButton() = default;

void KVPlusMinusButton::setAccessibleCaption(const QString &caption)
{
	setAccessibleName(caption);
	ui->InputEdit->setAccessibleName(caption);
	const QString part = QStringLiteral("%1: %2");
	ui->PlusButton->setAccessibleName(part.arg(caption, ModuleText::text("IncreaseButton")));
	ui->MinusButton->setAccessibleName(part.arg(caption, ModuleText::text("DecreaseButton")));
}

void KVPlusMinusButton::setElements(QMap<std::string, int> elements)
{
	rangeMode = false;
	elementMap = elements;
	_elements = Utils::sortMapByValue(elementMap);
}

void KVPlusMinusButton::setMinMaxValue(int min, int max)
{
	rangeMode = true;
	minValue = min;
	maxValue = max;
	if (min != max) {
		ui->InputEdit->setEnabled(true);
		ui->MinusButton->setEnabled(true);
		ui->PlusButton->setEnabled(true);
	} else {
		ui->InputEdit->setText(QString());
		ui->InputEdit->setEnabled(false);
		ui->MinusButton->setEnabled(false);
		ui->PlusButton->setEnabled(false);
	}
}

bool KVPlusMinusButton::setValue(int value)
{
	if (!rangeMode) {
		// The map is ordered by name, so among names sharing a value the first in name order wins.
		for (auto it = elementMap.cbegin(); it != elementMap.cend(); ++it) {
			if (it.value() == value) {
				ui->InputEdit->setText(QString::fromStdString(it.key()));
				return true;
			}
		}
		qCDebug(lcUi, "The value cant' be set.");
		return false;
	}

	if (value < minValue || value > maxValue) {
		qCDebug(lcUi, "The value is not in the range(MaxValue and MinValue)");
		return false;
	}
	ui->InputEdit->setText(QString::number(value));
	return true;
}

int KVPlusMinusButton::getValue(QString name)
{
	if (rangeMode)
		return ui->InputEdit->text().toInt(nullptr, 10);

	const std::string key = name.toStdString();
	return elementMap.contains(key) ? elementMap.value(key) : -1;
}

void KVPlusMinusButton::setEnabledUI(bool enabled)
{
	// Equal bounds leave nothing to step: the buttons stay off whatever the owner's mode gating asks for.
	if (minValue != maxValue) {
		ui->PlusButton->setEnabled(enabled);
		ui->MinusButton->setEnabled(enabled);
	}
	ui->InputEdit->setEnabled(false);
}

// Both steps start from the text on show rather than a stored value: whatever the camera reported last, or the
// operator typed, is the base of the next step.
void KVPlusMinusButton::stepUp()
{
	if (rangeMode) {
		const int value = ui->InputEdit->text().toInt(nullptr, 10);
		if (value >= maxValue) {
			qCDebug(lcUi, "The value is greater than MaxValue.");
			return;
		}
		ui->InputEdit->setText(QString::number(value + 1));
		emit valueChanged(value + 1);
		return;
	}

	const int index = _elements.indexOf(ui->InputEdit->text().toStdString());
	if (index < 0) {
		qCDebug(lcUi, "The value is not contained in _elements.");
		return;
	}
	if (index + 1 >= _elements.size()) {
		qCDebug(lcUi, "The value is greater than or equal to the size of _elements.");
		return;
	}
	const std::string &name = _elements.at(index + 1);
	const int value = elementMap.value(name);
	qCDebug(lcUi, "key value = %d", value);
	ui->InputEdit->setText(QString::fromStdString(name));
	emit valueChanged(value);
}

void KVPlusMinusButton::stepDown()
{
	if (rangeMode) {
		const int value = ui->InputEdit->text().toInt(nullptr, 10);
		if (minValue >= value) {
			qCDebug(lcUi, "The value is littler than or equal to MinValue(%d).", minValue);
			return;
		}
		ui->InputEdit->setText(QString::number(value - 1));
		emit valueChanged(value - 1);
		return;
	}

	const int index = _elements.indexOf(ui->InputEdit->text().toStdString());
	if (index < 0) {
		qCDebug(lcUi, "The value is not contained in _elements.");
		return;
	}
	if (index < 1) {
		qCDebug(lcUi, "The value is littler than or equal to 0.");
		return;
	}
	const std::string &name = _elements.at(index - 1);
	ui->InputEdit->setText(QString::fromStdString(name));
	emit valueChanged(elementMap.value(name));
}
