#include "RelayService.h"

#include "RelayLog.h"
#include "SlotAddressBook.h"
#include "settings/CameraAddress.h"
#include "settings/SettingsFile.h"

#include <QDir>
#include <QRandomGenerator>

#include <algorithm>
#include <chrono>
#include <optional>

RelayService::RelayService(const ViscaTransfer::Options &base, const QString &settingsDirectory, QObject *parent)
    : QObject(parent), baseOptions(base), directory(settingsDirectory)
{
	// A slot assigned while OBS runs, here or in another OBS sharing the file, is a destination at once.
	connect(SettingsFile::notifier(), &SettingsNotifier::changed, this, [this](const QString &changed) {
		if (QDir(changed) == QDir(directory))
			refreshSlotAddresses();
	});
}

RelayService::~RelayService()
{
	shutdown();
}

void RelayService::start()
{
	current = RelaySettings::read(directory);
	run();
}

bool RelayService::change(const RelaySettings &settings)
{
	const bool stored = settings.store(directory);
	current = settings;
	retireRelay();
	run();
	emit restarted();
	return stored;
}

void RelayService::run()
{
	if (!current.enabled) {
		qCInfo(lcRelay, "ViscaTransfer: The relay is switched off (RelayEnabled); nothing listens.");
		return;
	}
	relay = new ViscaTransfer(relayOptions(), this);
	refreshSlotAddresses();
	relay->start();
}

void RelayService::refreshSlotAddresses()
{
	if (!relay)
		return;
	const std::optional<QJsonObject> settings = SettingsFile::tryRead(directory);
	if (!settings) {
		qCInfo(lcRelay,
		       "ViscaTransfer: Cannot read the settings; the relay keeps the slots' addresses it has.");
		return;
	}
	SlotAddressBook book = SlotAddressBook::fromSettings(*settings);
	std::vector<uint32_t> live;
	for (const QString &address : std::as_const(liveAddresses))
		if (const std::optional<quint32> ipv4 = CameraAddress::ipv4(address))
			live.push_back(*ipv4);
	book.setLive(std::move(live));
	relay->setSlotAddresses(book);
}

void RelayService::setLiveAddresses(const QStringList &addresses)
{
	if (addresses == liveAddresses)
		return;
	liveAddresses = addresses;
	refreshSlotAddresses();
}

void RelayService::retireRelay()
{
	if (!relay)
		return;
	// Its clients are closed with 1001 (going away) on a thread of its own; its ports are free already.
	windingDown.push_back(relay->stopInBackground());
	delete relay;
	relay = nullptr;
	const auto ended = [](const std::future<void> &stopped) {
		return stopped.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
	};
	windingDown.erase(std::remove_if(windingDown.begin(), windingDown.end(), ended), windingDown.end());
}

void RelayService::shutdown()
{
	// Every relay winds down at once, so that the wait is the longest of them, not their sum.
	retireRelay();
	for (std::future<void> &stopped : windingDown)
		stopped.wait();
	windingDown.clear();
}

ViscaTransfer::Options RelayService::relayOptions() const
{
	ViscaTransfer::Options options = baseOptions;
	if (current.localOnly)
		options.listenAddress = QHostAddress(QHostAddress::LocalHost);
	options.anyDestination = current.anyDestination;
	options.allowedOrigins = current.allowedOrigins;
	options.secret = current.secretUnreadable ? unguessableSecret() : current.secret;
	return options;
}

QString RelayService::unguessableSecret()
{
	// A secret nobody was told: the relay refuses every client, as it must while its real one cannot be read.
	quint32 words[8];
	QRandomGenerator::system()->fillRange(words);
	return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(words), sizeof words).toBase64());
}

bool RelayService::isListening() const
{
	return relay && relay->isServing();
}

quint16 RelayService::tcpPort() const
{
	return isListening() ? relay->tcpPort() : baseOptions.tcpPort;
}

quint16 RelayService::udpPort() const
{
	return isListening() ? relay->udpPort() : baseOptions.udpPort;
}

ViscaTransfer::Failure RelayService::failure() const
{
	return relay ? relay->failure() : ViscaTransfer::Failure::None;
}

int RelayService::clientCount() const
{
	return relay ? relay->clientCount() : 0;
}
