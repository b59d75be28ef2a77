#pragma once

#include "RelaySettings.h"
#include "ViscaTransfer.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <future>
#include <vector>

// The relay as the controller runs it: reads the relay's keys from the settings file, runs a ViscaTransfer as they
// say (or none when the relay is off), hands it the slots' camera addresses, and restarts it when the operator
// changes the keys, without restarting OBS. A restart does not wait for the old relay's clients: the old relay frees
// its ports at once and winds down on a thread of its own, and shutdown() waits for every one of them.
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
	// Reads the slots' camera addresses from the settings again and hands them to the running relay; to be called
	// whenever a slot's address changes. A file that cannot be read leaves the relay with the addresses it has.
	void refreshSlotAddresses();
	// The cameras live on program in Studio Mode (their addresses): the relay holds back commands that change
	// their shot; empty when nothing is live or protection is switched off.
	void setLiveAddresses(const QStringList &addresses);
	// Stops the relay and waits until every relay stopped so far has ended, which is bounded by their stop
	// timeout. Also run by the destructor; the library must not unload before.
	void shutdown();

	const RelaySettings &settings() const { return current; }
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
	void retireRelay();
	ViscaTransfer::Options relayOptions() const;
	static QString unguessableSecret();

	const ViscaTransfer::Options baseOptions;
	const QString directory;
	RelaySettings current;
	ViscaTransfer *relay = nullptr; // child; none while the relay is off
	QStringList liveAddresses;
	std::vector<std::future<void>> windingDown; // relays stopped and not yet known to have ended
};
