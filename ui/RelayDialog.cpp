#include "ui/RelayDialog.h"
#include "ui_RelayDialog.h"

#include "relay/RelayService.h"
#include "settings/Utils.h"
#include "ui/HostStyle.h"
#include "settings/ModuleText.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>

namespace {

QString stateText(const RelayService &service)
{
	if (!service.settings().enabled)
		return ModuleText::text("RelayStateOff");
	if (service.isListening())
		return ModuleText::text(service.settings().localOnly ? "RelayStateListeningLocal"
								     : "RelayStateListeningAll");
	switch (service.failure()) {
	case ViscaTransfer::Failure::TcpPortInUse:
		return ModuleText::text("RelayStateTcpPortBusy").arg(service.tcpPort());
	case ViscaTransfer::Failure::UdpPortInUse:
		return ModuleText::text("RelayStateUdpPortBusy").arg(service.udpPort());
	case ViscaTransfer::Failure::None:
	case ViscaTransfer::Failure::Other:
		break;
	}
	return ModuleText::text("RelayStateFailed");
}

} // namespace

RelayDialog::RelayDialog(RelayService *service, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::RelayDialog>()), relayService(service)
{
	ui->setupUi(this);
	applyHostStyleShield(this);
	setTexts();
	showSettings(service->settings());
	showState();

	connect(ui->RelayEnabledCheck, &QCheckBox::toggled, this, &RelayDialog::enableOptions);
	connect(ui->ApplyButton, &QPushButton::clicked, this, &RelayDialog::apply);
	connect(service, &RelayService::restarted, this, &RelayDialog::showState);
	refreshTimer = new QTimer(this);
	refreshTimer->setInterval(kRefreshIntervalMs);
	connect(refreshTimer, &QTimer::timeout, this, &RelayDialog::showState);
	refreshTimer->start();
}

RelayDialog::~RelayDialog() = default;

void RelayDialog::setTexts()
{
	// The dialog is opened long after the main window's translation scope has closed, so its texts are looked
	// up here rather than left to the form. Every control gets a name a screen reader can say: its caption, or
	// for a value the caption of its row.
	setWindowTitle(ModuleText::text("RelayTitle"));
	const std::pair<QWidget *, const char *> captioned[] = {
		{ui->RelayEnabledCheck, "RelayEnabled"},
		{ui->PortLabel, "RelayPort"},
		{ui->StateLabel, "RelayState"},
		{ui->ClientsLabel, "RelayClients"},
		{ui->ListenBox, "RelayListenBox"},
		{ui->ListenAllRadio, "RelayListenAll"},
		{ui->ListenLocalRadio, "RelayListenLocal"},
		{ui->DestinationBox, "RelayDestinationBox"},
		{ui->DestinationSlotsRadio, "RelayDestinationSlots"},
		{ui->DestinationAnyRadio, "RelayDestinationAny"},
		{ui->OriginsLabel, "RelayOrigins"},
		{ui->SecretLabel, "RelaySecret"},
		{ui->OpenWarningLabel, "RelayOpenWarning"},
		{ui->ApplyButton, "Apply"},
	};
	for (const auto &[widget, key] : captioned) {
		const QString text = ModuleText::text(key);
		widget->setAccessibleName(text);
		if (auto *button = qobject_cast<QAbstractButton *>(widget))
			button->setText(text);
		else if (auto *label = qobject_cast<QLabel *>(widget))
			label->setText(text);
		else if (auto *box = qobject_cast<QGroupBox *>(widget))
			box->setTitle(text);
	}
	const std::pair<QWidget *, QLabel *> values[] = {
		{ui->PortValueLabel, ui->PortLabel},
		{ui->StateValueLabel, ui->StateLabel},
		{ui->ClientsValueLabel, ui->ClientsLabel},
		{ui->OriginsEdit, ui->OriginsLabel},
	};
	for (const auto &[value, caption] : values)
		value->setAccessibleName(caption->text());
	ui->OriginsLabel->setBuddy(ui->OriginsEdit);
	ui->SecretEdit->setAccessibleName(ui->SecretLabel->text());
	ui->SecretLabel->setBuddy(ui->SecretEdit);
	ui->SecretEdit->setPlaceholderText(ModuleText::text("RelaySecretNone"));
}

void RelayDialog::showSettings(const RelaySettings &settings)
{
	ui->RelayEnabledCheck->setChecked(settings.enabled);
	(settings.localOnly ? ui->ListenLocalRadio : ui->ListenAllRadio)->setChecked(true);
	(settings.anyDestination ? ui->DestinationAnyRadio : ui->DestinationSlotsRadio)->setChecked(true);
	ui->OriginsEdit->setPlainText(settings.allowedOrigins.join(QLatin1Char('\n')));
	ui->SecretEdit->setText(settings.secret);
	enableOptions();
}

RelaySettings RelayDialog::chosenSettings() const
{
	RelaySettings settings;
	settings.enabled = ui->RelayEnabledCheck->isChecked();
	settings.localOnly = ui->ListenLocalRadio->isChecked();
	settings.anyDestination = ui->DestinationAnyRadio->isChecked();
	// One origin a line; browsers send it without spaces, so stray ones around it are the operator's typing.
	const QStringList lines = ui->OriginsEdit->toPlainText().split(QLatin1Char('\n'));
	for (const QString &line : lines) {
		if (!line.trimmed().isEmpty())
			settings.allowedOrigins << line.trimmed();
	}
	// Spaces around a pasted secret are taken for the operator's typing too. A secret the file holds in a form
	// that cannot be read stays there, and the relay closed, unless the operator types a new one.
	settings.secret = ui->SecretEdit->text().trimmed();
	settings.secretUnreadable =
		relayService && relayService->settings().secretUnreadable && !ui->SecretEdit->isModified();
	return settings;
}

void RelayDialog::showState()
{
	if (!relayService)
		return;
	ui->PortValueLabel->setText(QString::number(relayService->tcpPort()));
	ui->StateValueLabel->setText(stateText(*relayService));
	ui->ClientsValueLabel->setText(QString::number(relayService->clientCount()));
	ui->OpenWarningLabel->setVisible(relayService->settings().openToNetwork());
}

void RelayDialog::enableOptions()
{
	const bool on = ui->RelayEnabledCheck->isChecked();
	for (QWidget *option : {static_cast<QWidget *>(ui->ListenBox), static_cast<QWidget *>(ui->DestinationBox),
				static_cast<QWidget *>(ui->OriginsLabel), static_cast<QWidget *>(ui->OriginsEdit),
				static_cast<QWidget *>(ui->SecretLabel), static_cast<QWidget *>(ui->SecretEdit)})
		option->setEnabled(on);
}

void RelayDialog::apply()
{
	if (!relayService)
		return;
	if (!relayService->change(chosenSettings()))
		Utils::showErrorMessage(ModuleText::text("RelaySettingsNotSaved"));
	showSettings(relayService->settings());
	showState();
}
