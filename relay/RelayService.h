#pragma once

#include "RelaySettings.h"
#include "ViscaTransfer.h"

#include <QObject>
#include <QString>

// The relay as the controller runs it: reads the relay's keys from the settings file, runs a ViscaTransfer as they
// say (or none when the relay is off), and restarts it when the operator changes them, without restarting OBS.
// Everything here runs on the UI thread; the relay's own thread never sees this object.
class RelayService : public QObject {
	Q_OBJECT

public:
	// `base` holds the ports, the address of "all interfaces" and the stop timeout (tests pick ephemeral loopback
	// ports); the keys of the settings file in `settingsDirectory` decide the rest.
	RelayService(const ViscaTransfer::Options &base, const QString &settingsDirectory, QObject *parent = nullptr);
	~RelayService() override;

	// Reads the keys and starts the relay as they say.
	void start();
	// Stores the keys and restarts the relay with them: its clients are closed with 1001 (going away). False when
	// the keys could not be stored; the relay runs with them all the same until OBS closes.
	bool change(const RelaySettings &settings);

	const RelaySettings &settings() const { return m_settings; }
	bool isListening() const;
	// The port the relay listens on, or the one it would listen on.
	quint16 tcpPort() const;
	// The port the camera datagrams leave from and return to.
	quint16 udpPort() const;
	// Why the relay is not listening although it is on.
	ViscaTransfer::Failure failure() const;
	int clientCount() const;

signals:
	// The relay was restarted with other settings.
	void restarted();

private:
	void run();
	void stopRelay();
	ViscaTransfer::Options relayOptions() const;

	const ViscaTransfer::Options m_base;
	const QString m_settingsDirectory;
	RelaySettings m_settings;
	ViscaTransfer *m_relay = nullptr; // child; none while the relay is off
};
