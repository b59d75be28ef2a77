#include "RelayService.h"

#include "RelayLog.h"
#include "settings/Utils.h"

RelayService::RelayService(const ViscaTransfer::Options &base, const QString &settingsDirectory, QObject *parent)
    : QObject(parent), m_base(base), m_settingsDirectory(settingsDirectory)
{
}

RelayService::~RelayService()
{
	stopRelay();
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
	stopRelay();
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
	m_relay->start();
}

void RelayService::stopRelay()
{
	// Its destructor closes its clients with 1001 (going away) and ends its thread.
	delete m_relay;
	m_relay = nullptr;
}

ViscaTransfer::Options RelayService::relayOptions() const
{
	ViscaTransfer::Options options = m_base;
	if (m_settings.localOnly)
		options.listenAddress = QHostAddress(QHostAddress::LocalHost);
	options.anyDestination = m_settings.anyDestination;
	options.settingsFilePath = Utils::settingsFilePath(m_settingsDirectory);
	options.allowedOrigins = m_settings.allowedOrigins;
	return options;
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
