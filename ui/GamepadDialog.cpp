#include "ui/GamepadDialog.h"

#include "integrations/GamepadInput.h"
#include "settings/ModuleText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Enough rows for every button of SDL's game controller and of most joysticks.
constexpr int kButtonRows = 21;
constexpr int kAxisChoices = 8;
constexpr const char *kRoleKeys[GamepadMapping::kRoleCount] = {"GamepadPan", "GamepadTilt", "GamepadZoom",
							       "GamepadFocus"};
constexpr const char *kHatKeys[GamepadMapping::kHatDirections] = {"GamepadHatUp", "GamepadHatRight", "GamepadHatDown",
								  "GamepadHatLeft"};

QString actionLabel(const GamepadMapping::ActionBinding &binding)
{
	const QString text = GamepadMapping::actionText(binding);
	const QByteArray key = "GamepadAction_" + text.section(QLatin1Char(' '), 0, 0).toLatin1();
	const QString label = ModuleText::text(key.constData());
	return binding.argument ? label.arg(binding.argument) : label;
}

void selectData(QComboBox *box, const QVariant &data)
{
	box->setCurrentIndex(std::max(0, box->findData(data)));
}

} // namespace

GamepadDialog::GamepadDialog(GamepadInput *input, QWidget *parent) : QDialog(parent), input(input)
{
	setObjectName(QStringLiteral("GamepadDialog"));
	setWindowTitle(ModuleText::text("GamepadTitle"));
	auto *layout = new QVBoxLayout(this);
	status = new QLabel(this);
	status->setObjectName(QStringLiteral("GamepadStatus"));
	status->setWordWrap(true);
	layout->addWidget(status);
	deviceBox = new QComboBox(this);
	deviceBox->setObjectName(QStringLiteral("GamepadDevice"));
	auto *deviceForm = new QFormLayout;
	deviceForm->addRow(ModuleText::text("GamepadDevice"), deviceBox);
	layout->addLayout(deviceForm);

	auto *axesBox = new QGroupBox(ModuleText::text("GamepadAxes"), this);
	auto *axesGrid = new QGridLayout(axesBox);
	for (int role = 0; role < GamepadMapping::kRoleCount; ++role) {
		RoleRow &row = roles[role];
		row.axis = new QComboBox(axesBox);
		row.axis->addItem(ModuleText::text("GamepadNone"), -1);
		for (int axis = 0; axis < kAxisChoices; ++axis)
			row.axis->addItem(ModuleText::text("GamepadAxisN").arg(axis), axis);
		row.invert = new QCheckBox(ModuleText::text("GamepadInvert"), axesBox);
		row.position = new QProgressBar(axesBox);
		row.position->setRange(-32768, 32767);
		row.position->setTextVisible(false);
		axesGrid->addWidget(new QLabel(ModuleText::text(kRoleKeys[role]), axesBox), role, 0);
		axesGrid->addWidget(row.axis, role, 1);
		axesGrid->addWidget(row.invert, role, 2);
		axesGrid->addWidget(row.position, role, 3);
	}
	deadZone = new QSpinBox(axesBox);
	deadZone->setRange(0, GamepadMapping::kMaxDeadZonePercent);
	deadZone->setSuffix(QStringLiteral(" %"));
	axesGrid->addWidget(new QLabel(ModuleText::text("GamepadDeadZone"), axesBox), GamepadMapping::kRoleCount, 0);
	axesGrid->addWidget(deadZone, GamepadMapping::kRoleCount, 1);
	layout->addWidget(axesBox);

	auto *buttons = new QWidget;
	auto *buttonForm = new QFormLayout(buttons);
	for (int direction = 0; direction < GamepadMapping::kHatDirections; ++direction) {
		hatBoxes << actionBox();
		buttonForm->addRow(ModuleText::text(kHatKeys[direction]), hatBoxes.last());
	}
	for (int button = 0; button < kButtonRows; ++button) {
		buttonBoxes << actionBox();
		buttonForm->addRow(ModuleText::text("GamepadButtonN").arg(button), buttonBoxes.last());
	}
	auto *scroll = new QScrollArea(this);
	scroll->setWidget(buttons);
	scroll->setWidgetResizable(true);
	layout->addWidget(scroll, 1);
	pressed = new QLabel(this);
	pressed->setObjectName(QStringLiteral("GamepadPressed"));
	layout->addWidget(pressed);

	auto *box = new QDialogButtonBox(QDialogButtonBox::Apply | QDialogButtonBox::Close, this);
	connect(box->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, &GamepadDialog::apply);
	connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
	layout->addWidget(box);

	connect(input, &GamepadInput::devicesChanged, this, &GamepadDialog::listDevices);
	connect(input, &GamepadInput::connectionChanged, this, &GamepadDialog::showState);
	connect(input, &GamepadInput::stateChanged, this, &GamepadDialog::showState);
	listDevices();
	showMapping(input->mapping());
	showState();
	resize(520, 640);
}

GamepadDialog *GamepadDialog::showFor(GamepadInput *input, QWidget *parent)
{
	auto *dialog = parent->findChild<GamepadDialog *>(QStringLiteral("GamepadDialog"), Qt::FindDirectChildrenOnly);
	if (!dialog) {
		dialog = new GamepadDialog(input, parent);
		dialog->setAttribute(Qt::WA_DeleteOnClose);
	}
	dialog->show();
	dialog->activateWindow();
	dialog->raise();
	return dialog;
}

QComboBox *GamepadDialog::actionBox() const
{
	auto *box = new QComboBox;
	box->addItem(ModuleText::text("GamepadNone"));
	for (const GamepadMapping::ActionBinding &binding : GamepadMapping::allActions())
		box->addItem(actionLabel(binding), GamepadMapping::actionText(binding));
	return box;
}

void GamepadDialog::listDevices()
{
	// The device the operator is picking stays picked while others come and go.
	const QString picked = deviceBox->count() ? deviceBox->currentData().toString() : input->chosenGuid();
	deviceBox->clear();
	deviceBox->addItem(ModuleText::text("GamepadNone"), QString());
	bool pickedListed = picked.isEmpty();
	for (const GamepadInput::Device &device : input->devices()) {
		deviceBox->addItem(device.name, device.guid);
		pickedListed = pickedListed || device.guid == picked;
	}
	if (!pickedListed)
		deviceBox->addItem(ModuleText::text("GamepadAbsent").arg(picked), picked);
	selectData(deviceBox, picked);
	showState();
}

void GamepadDialog::showState()
{
	const std::optional<GamepadInput::Device> active = input->activeDevice();
	if (!input->available())
		status->setText(ModuleText::text("GamepadUnavailable").arg(input->unavailableReason()));
	else if (active)
		status->setText(ModuleText::text("GamepadActive").arg(active->name));
	else
		status->setText(
			ModuleText::text(input->chosenGuid().isEmpty() ? "GamepadNoneChosen" : "GamepadWaiting"));
	const QVector<int> axes = input->axisValues();
	for (RoleRow &row : roles) {
		const int axis = row.axis->currentData().toInt();
		row.position->setValue(axis >= 0 && axis < axes.size() ? axes.at(axis) : 0);
	}
	QStringList down;
	const QVector<bool> buttons = input->buttonStates();
	for (int button = 0; button < buttons.size(); ++button)
		if (buttons.at(button))
			down << QString::number(button);
	pressed->setText(ModuleText::text("GamepadPressedButtons").arg(down.join(QStringLiteral(", "))));
}

void GamepadDialog::showMapping(const GamepadMapping &mapping)
{
	for (int role = 0; role < GamepadMapping::kRoleCount; ++role) {
		selectData(roles[role].axis, mapping.axes[role].axis);
		roles[role].invert->setChecked(mapping.axes[role].invert);
	}
	deadZone->setValue(mapping.deadZonePercent);
	for (int button = 0; button < buttonBoxes.size(); ++button)
		selectData(buttonBoxes[button], mapping.buttons.contains(button)
							? GamepadMapping::actionText(mapping.buttons.value(button))
							: QVariant());
	for (int direction = 0; direction < hatBoxes.size(); ++direction)
		selectData(hatBoxes[direction], mapping.hat.contains(direction)
							? GamepadMapping::actionText(mapping.hat.value(direction))
							: QVariant());
}

GamepadMapping GamepadDialog::chosenMapping() const
{
	GamepadMapping mapping = input->mapping();
	for (int role = 0; role < GamepadMapping::kRoleCount; ++role)
		mapping.axes[role] = {roles[role].axis->currentData().toInt(), roles[role].invert->isChecked()};
	mapping.deadZonePercent = deadZone->value();
	const auto read = [](const QList<QComboBox *> &boxes, QMap<int, GamepadMapping::ActionBinding> &table) {
		for (int index = 0; index < boxes.size(); ++index) {
			table.remove(index);
			if (const auto action = GamepadMapping::actionNamed(boxes[index]->currentData().toString()))
				table.insert(index, *action);
		}
	};
	read(buttonBoxes, mapping.buttons);
	read(hatBoxes, mapping.hat);
	return mapping;
}

void GamepadDialog::apply()
{
	input->setMapping(chosenMapping());
	input->choose(deviceBox->currentData().toString());
	showState();
}
