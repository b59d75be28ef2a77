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
    : QObject(parent), m_base(base), m_settingsDirectory(settingsDirectory)
{
	// A slot assigned while OBS runs, here or in another OBS sharing the file, is a destination at once.
	connect(SettingsFile::notifier(), &SettingsNotifier::changed, this, [this](const QString &directory) {
		if (QDir(directory) == QDir(m_settingsDirectory))
			refreshSlotAddresses();
	});
}

RelayService::~RelayService()
{
	shutdown();
}

void RelayService::start()
{
	m_settings = RelaySettings::read(m_settingsDirectory);
	run();
}

bool RelayService::change(const RelaySettings &settings)
{
	const bool stored = settings.store(m_settingsDirectory);
	m_settings = settings;
	retireRelay();
	run();
	emit restarted();
	return stored;
}

void RelayService::run()
{
	if (!m_settings.enabled) {
		qCInfo(lcRelay, "ViscaTransfer: The relay is switched off (RelayEnabled); nothing listens.");
		return;
	}
	m_relay = new ViscaTransfer(relayOptions(), this);
	refreshSlotAddresses();
	m_relay->start();
}

void RelayService::refreshSlotAddresses()
{
	if (!m_relay)
		return;
	const std::optional<QJsonObject> settings = SettingsFile::tryRead(m_settingsDirectory);
	if (!settings) {
		qCInfo(lcRelay,
		       "ViscaTransfer: Cannot read the settings; the relay keeps the slots' addresses it has.");
		return;
	}
	SlotAddressBook book = SlotAddressBook::fromSettings(*settings);
	std::vector<uint32_t> live;
	for (const QString &address : std::as_const(m_live))
		if (const std::optional<quint32> ipv4 = CameraAddress::ipv4(address))
			live.push_back(*ipv4);
	book.setLive(std::move(live));
	m_relay->setSlotAddresses(book);
}

void RelayService::setLiveAddresses(const QStringList &addresses)
{
	if (addresses == m_live)
		return;
	m_live = addresses;
	refreshSlotAddresses();
}

void RelayService::retireRelay()
{
	if (!m_relay)
		return;
	// Its clients are closed with 1001 (going away) on a thread of its own; its ports are free already.
	m_windingDown.push_back(m_relay->stopInBackground());
	delete m_relay;
	m_relay = nullptr;
	const auto ended = [](const std::future<void> &relay) {
		return relay.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
	};
	m_windingDown.erase(std::remove_if(m_windingDown.begin(), m_windingDown.end(), ended), m_windingDown.end());
}

void RelayService::shutdown()
{
	// Every relay winds down at once, so that the wait is the longest of them, not their sum.
	retireRelay();
	for (std::future<void> &relay : m_windingDown)
		relay.wait();
	m_windingDown.clear();
}

ViscaTransfer::Options RelayService::relayOptions() const
{
	ViscaTransfer::Options options = m_base;
	if (m_settings.localOnly)
		options.listenAddress = QHostAddress(QHostAddress::LocalHost);
	options.anyDestination = m_settings.anyDestination;
	options.allowedOrigins = m_settings.allowedOrigins;
	options.secret = m_settings.secretUnreadable ? unguessableSecret() : m_settings.secret;
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
	return m_relay && m_relay->isServing();
}

quint16 RelayService::tcpPort() const
{
	return isListening() ? m_relay->tcpPort() : m_base.tcpPort;
}

quint16 RelayService::udpPort() const
{
	return isListening() ? m_relay->udpPort() : m_base.udpPort;
}

ViscaTransfer::Failure RelayService::failure() const
{
	return m_relay ? m_relay->failure() : ViscaTransfer::Failure::None;
}

int RelayService::clientCount() const
{
	return m_relay ? m_relay->clientCount() : 0;
}
