#include "ui/GamepadDialog.h"

#include "settings/ModuleText.h"
#include "ui/GamepadAxisBar.h"
#include "ui/GamepadInputRows.h"
#include "ui/GamepadTexts.h"
#include "ui/ModalBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr const char *kRoleKeys[GamepadMapping::kRoleCount] = {"GamepadPan", "GamepadTilt", "GamepadZoom",
							       "GamepadFocus"};
constexpr int kFullScale = 32767;

void selectData(QComboBox *box, const QVariant &data)
{
	box->setCurrentIndex(std::max(0, box->findData(data)));
}

// A device in the list: its GUID and which of the connected devices sharing it (identical pads) it is.
QVariant deviceData(const QString &guid, int number = 1)
{
	return QStringList{guid, QString::number(number)};
}

QString guidOf(const QVariant &data)
{
	return data.toStringList().value(0);
}

int numberOf(const QVariant &data)
{
	return std::max(1, data.toStringList().value(1).toInt());
}

} // namespace

GamepadDialog::GamepadDialog(GamepadInput *input, QWidget *parent)
    : QDialog(parent), input(input), layout(GamepadLayout::controller())
{
	setObjectName(QStringLiteral("GamepadDialog"));
	setWindowTitle(ModuleText::text("GamepadTitle"));
	auto *column = new QVBoxLayout(this);
	status = new QLabel(this);
	status->setObjectName(QStringLiteral("GamepadStatus"));
	status->setWordWrap(true);
	column->addWidget(status);
	deviceBox = new QComboBox(this);
	deviceBox->setObjectName(QStringLiteral("GamepadDevice"));
	auto *deviceForm = new QFormLayout;
	deviceForm->addRow(ModuleText::text("GamepadDevice"), deviceBox);
	column->addLayout(deviceForm);

	auto *axesBox = new QGroupBox(ModuleText::text("GamepadAxes"), this);
	auto *axesGrid = new QGridLayout(axesBox);
	for (int role = 0; role < GamepadMapping::kRoleCount; ++role) {
		RoleRow &row = roles[role];
		row.axis = new QComboBox(axesBox);
		row.axis->setObjectName(QString::fromLatin1(kRoleKeys[role]) + QLatin1String("Axis"));
		row.invert = new QCheckBox(ModuleText::text("GamepadInvert"), axesBox);
		row.invert->setObjectName(QString::fromLatin1(kRoleKeys[role]) + QLatin1String("Invert"));
		row.bar = new GamepadAxisBar(axesBox);
		row.bar->setObjectName(QString::fromLatin1(kRoleKeys[role]) + QLatin1String("Bar"));
		axesGrid->addWidget(new QLabel(ModuleText::text(kRoleKeys[role]), axesBox), role, 0);
		axesGrid->addWidget(row.axis, role, 1);
		axesGrid->addWidget(row.invert, role, 2);
		axesGrid->addWidget(row.bar, role, 3);
		connect(row.axis, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
			showBars();
			showSharedAxes();
		});
		connect(row.invert, &QCheckBox::toggled, this, &GamepadDialog::showBars);
	}
	deadZone = new QSpinBox(axesBox);
	deadZone->setObjectName(QStringLiteral("GamepadDeadZone"));
	deadZone->setRange(0, GamepadMapping::kMaxDeadZonePercent);
	deadZone->setSuffix(QStringLiteral(" %"));
	connect(deadZone, qOverload<int>(&QSpinBox::valueChanged), this, &GamepadDialog::showBars);
	axesGrid->addWidget(new QLabel(ModuleText::text("GamepadDeadZone"), axesBox), GamepadMapping::kRoleCount, 0);
	axesGrid->addWidget(deadZone, GamepadMapping::kRoleCount, 1);
	sharedAxes = new QLabel(axesBox);
	sharedAxes->setObjectName(QStringLiteral("GamepadSharedAxes"));
	sharedAxes->setWordWrap(true);
	axesGrid->addWidget(sharedAxes, GamepadMapping::kRoleCount + 1, 0, 1, 4);
	column->addWidget(axesBox);

	scroll = new QScrollArea(this);
	scroll->setWidgetResizable(true);
	column->addWidget(scroll, 1);
	auto *assignRow = new QHBoxLayout;
	assignedAction = GamepadInputRows::newActionBox(this);
	assignedAction->setObjectName(QStringLiteral("GamepadAssignedAction"));
	assignButton = new QPushButton(ModuleText::text("GamepadAssign"), this);
	assignButton->setObjectName(QStringLiteral("GamepadAssign"));
	assignButton->setCheckable(true);
	connect(assignButton, &QPushButton::toggled, this, &GamepadDialog::armAssign);
	assignRow->addWidget(assignedAction, 1);
	assignRow->addWidget(assignButton);
	column->addLayout(assignRow);
	pressed = new QLabel(this);
	pressed->setObjectName(QStringLiteral("GamepadPressed"));
	column->addWidget(pressed);

	auto *box = new QDialogButtonBox(QDialogButtonBox::Apply | QDialogButtonBox::Close, this);
	connect(box->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, &GamepadDialog::apply);
	connect(box, &QDialogButtonBox::rejected, this, &GamepadDialog::reject);
	column->addWidget(box);

	seenNames.insert(input->chosenGuid(), input->chosenName());
	connect(input, &GamepadInput::devicesChanged, this, &GamepadDialog::listDevices);
	connect(input, &GamepadInput::connectionChanged, this, &GamepadDialog::showState);
	connect(input, &GamepadInput::stateChanged, this, &GamepadDialog::showState);
	connect(deviceBox, qOverload<int>(&QComboBox::currentIndexChanged), this, &GamepadDialog::followPickedDevice);
	listDevices();
	showLayout(input->mapping());
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

void GamepadDialog::listDevices()
{
	// The device the operator is picking stays picked while others come and go.
	const QVariant picked =
		deviceBox->count() ? deviceBox->currentData() : deviceData(input->chosenGuid(), input->chosenNumber());
	const QString pickedGuid = guidOf(picked);
	const QList<GamepadInput::Device> devices = input->devices();
	const QSignalBlocker quiet(deviceBox);
	deviceBox->clear();
	deviceBox->addItem(ModuleText::text("GamepadNone"), deviceData(QString()));
	QMap<QString, int> alike;
	for (const GamepadInput::Device &device : devices) {
		++alike[device.guid];
		seenNames.insert(device.guid, device.name);
	}
	for (const GamepadInput::Device &device : devices) {
		const int ordinal = alike.value(device.guid) > 1 ? device.number : 0;
		deviceBox->addItem(GamepadTexts::device(device, ordinal), deviceData(device.guid, device.number));
	}
	if (!pickedGuid.isEmpty() && !alike.contains(pickedGuid))
		deviceBox->addItem(GamepadTexts::absentDevice(pickedGuid, seenNames.value(pickedGuid)), picked);
	// While fewer identical devices are connected than the number picked, the last of them is the one that drives.
	const int present = alike.value(pickedGuid);
	selectData(deviceBox, present ? deviceData(pickedGuid, std::min(numberOf(picked), present)) : picked);
	if (inputRows)
		followPickedDevice();
}

void GamepadDialog::followPickedDevice()
{
	// The rows follow the picked device's layout (known while it is plugged in); what was chosen in them stays.
	const std::optional<GamepadInput::Device> picked = pickedDevice();
	if ((picked ? picked->layout : GamepadLayout::controller()) != layout)
		showLayout(chosenMapping());
	else
		showState();
}

std::optional<GamepadInput::Device> GamepadDialog::pickedDevice() const
{
	const QVariant picked = deviceBox->currentData();
	for (const GamepadInput::Device &device : input->devices())
		if (!guidOf(picked).isEmpty() && device.guid == guidOf(picked) && device.number == numberOf(picked))
			return device;
	return std::nullopt;
}

bool GamepadDialog::pickedIsActive() const
{
	const std::optional<GamepadInput::Device> active = input->activeDevice();
	return active && deviceData(active->guid, active->number) == deviceBox->currentData();
}

void GamepadDialog::showLayout(const GamepadMapping &mapping)
{
	const std::optional<GamepadInput::Device> picked = pickedDevice();
	layout = picked ? picked->layout : GamepadLayout::controller();
	for (int role = 0; role < GamepadMapping::kRoleCount; ++role)
		listAxes(roles[role].axis, mapping.axes[role].axis);
	inputRows = new GamepadInputRows(layout);
	scroll->setWidget(inputRows); // the rows of the previous layout go
	showMapping(mapping);
	showState();
}

void GamepadDialog::listAxes(QComboBox *box, int stored)
{
	const QSignalBlocker quiet(box);
	box->clear();
	box->addItem(ModuleText::text("GamepadNone"), -1);
	for (int axis : layout.axes)
		box->addItem(GamepadTexts::axis(layout, axis), axis);
	// An axis the device lacks stays bound until the operator binds another.
	if (stored >= 0 && !layout.axes.contains(stored))
		box->addItem(ModuleText::text("GamepadAxisN").arg(stored), stored);
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
	showBars();
	// What the rows show live is the picked device's only when it is the one read.
	const bool live = pickedIsActive();
	const QVector<bool> buttons = live ? input->buttonStates() : QVector<bool>();
	const std::optional<GamepadInputRows::Input> press =
		inputRows->showPressed(buttons, live ? input->hatState() : 0);
	if (press && assignButton->isChecked() && inputRows->assign(*press, assignedAction->currentData().toString()))
		assignButton->setChecked(false);
	// Only the device read live can be pressed.
	assignButton->setEnabled(live);
	if (!live)
		assignButton->setChecked(false);
	QStringList down;
	for (int button = 0; button < buttons.size(); ++button)
		if (buttons.at(button))
			down << GamepadTexts::button(layout, button);
	pressed->setText(ModuleText::text("GamepadPressedButtons").arg(down.join(QStringLiteral(", "))));
}

void GamepadDialog::showBars()
{
	const bool live = pickedIsActive();
	const QVector<int> axes = live ? input->axisValues() : QVector<int>();
	const QVector<int> rests = live ? input->axisRests() : QVector<int>();
	for (RoleRow &row : roles) {
		const int axis = row.axis->currentData().toInt();
		GamepadAxisBar::Reading reading;
		// A game controller's trigger reads from 0 at rest; a raw one may rest at an end of a whole axis.
		if (layout.standard && GamepadLayout::isTrigger(axis))
			reading.range = {0, 0, kFullScale};
		else
			reading.range.rest = rests.value(axis);
		reading.value = axis >= 0 && axis < axes.size() ? axes.at(axis) : reading.range.rest;
		reading.deadZonePercent = deadZone->value();
		reading.inverted = row.invert->isChecked();
		row.bar->setReading(reading);
	}
}

void GamepadDialog::showSharedAxes()
{
	// Allowed (a stick's one axis may zoom and focus at once), but seldom meant: said, not refused.
	QStringList lines;
	for (int first = 0; first < GamepadMapping::kRoleCount; ++first)
		for (int second = first + 1; second < GamepadMapping::kRoleCount; ++second) {
			const int axis = roles[first].axis->currentData().toInt();
			if (axis >= 0 && axis == roles[second].axis->currentData().toInt())
				lines << ModuleText::text("GamepadSharedAxis")
						 .arg(ModuleText::text(kRoleKeys[first]),
						      ModuleText::text(kRoleKeys[second]),
						      roles[first].axis->currentText());
		}
	sharedAxes->setText(lines.join(QLatin1Char('\n')));
	sharedAxes->setVisible(!lines.isEmpty());
}

void GamepadDialog::showMapping(const GamepadMapping &mapping)
{
	for (int role = 0; role < GamepadMapping::kRoleCount; ++role) {
		selectData(roles[role].axis, mapping.axes[role].axis);
		roles[role].invert->setChecked(mapping.axes[role].invert);
	}
	deadZone->setValue(mapping.deadZonePercent);
	inputRows->showMapping(mapping);
	showSharedAxes();
}

GamepadMapping GamepadDialog::chosenMapping() const
{
	GamepadMapping mapping = input->mapping();
	for (int role = 0; role < GamepadMapping::kRoleCount; ++role)
		mapping.axes[role] = {roles[role].axis->currentData().toInt(), roles[role].invert->isChecked()};
	mapping.deadZonePercent = deadZone->value();
	inputRows->readInto(mapping);
	return mapping;
}

bool GamepadDialog::unapplied() const
{
	return chosenMapping() != input->mapping() ||
	       deviceBox->currentData() != deviceData(input->chosenGuid(), input->chosenNumber());
}

void GamepadDialog::apply()
{
	input->setMapping(chosenMapping());
	input->choose(guidOf(deviceBox->currentData()), numberOf(deviceBox->currentData()));
	showState();
}

void GamepadDialog::armAssign(bool armed)
{
	assignButton->setText(ModuleText::text(armed ? "GamepadAssignWaiting" : "GamepadAssign"));
}

void GamepadDialog::reject()
{
	if (!askAboutChanges())
		QDialog::reject();
}

bool GamepadDialog::askAboutChanges()
{
	if (leaving || !unapplied())
		return false;
	auto *box = new QMessageBox(QMessageBox::Question, windowTitle(), ModuleText::text("GamepadUnapplied"),
				    QMessageBox::Apply | QMessageBox::Discard | QMessageBox::Cancel, this);
	box->setObjectName(QStringLiteral("GamepadUnappliedBox"));
	ModalBox::open(box, this, [this](int answer) {
		if (answer == QMessageBox::Cancel)
			return;
		if (answer == QMessageBox::Apply)
			apply();
		leaving = true;
		// After the close that asked has run its course: a close from inside it would be no close.
		QMetaObject::invokeMethod(this, &QDialog::close, Qt::QueuedConnection);
	});
	return true;
}
