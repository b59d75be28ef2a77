#pragma once

#include "SecretGuard.h"
#include "SlotAddressBook.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <future>
#include <memory>

// The VISCA relay: a WebSocket server through which another program sends raw VISCA-over-IP datagrams to the
// cameras and receives the cameras' replies.
//
// A client sends {"ip": camera address, "port": camera UDP port, "data": [bytes]}; the bytes leave unchanged from
// the relay's own UDP socket. Every datagram that comes back from a camera is sent the moment it arrives, as
// {"data":[...],"ip":"...","port":N}, to the client that last sent to that camera's address and port (see
// RelayRoutes).
//
// What may pass: by default only datagrams to the cameras assigned to the slots (as last handed over with
// setSlotAddresses); browsers only from the web pages (origins) listed; with a secret set, only clients that present
// it; at most a number of connections at once, of which only a share may still be in their opening handshake, and at
// most a number of reply bytes waiting for a client that does not read.
//
// Everything runs on one thread of the relay's own: the WebSocket endpoint and the UDP socket share one asio event
// loop, so nothing ever waits for a reply. State of the loop (the connections, the routes) is touched only on that
// thread, and stop() hands its work to the loop instead of reaching in. The figures read from other threads are
// atomics; the slot addresses are an immutable value swapped under a lock.
//
// A busy port is logged and leaves the relay idle; it never throws into the caller.
class ViscaTransfer : public QObject {
	Q_OBJECT

public:
	struct Options {
		// The IPv6 wildcard, which takes IPv4 connections too (IPv4 wildcard where the host has no IPv6).
		QHostAddress listenAddress = QHostAddress(QHostAddress::Any);
		quint16 tcpPort = 55260; // 0 picks an ephemeral port
		QHostAddress udpAddress = QHostAddress(QHostAddress::AnyIPv4);
		quint16 udpPort = 52381; // 0 picks an ephemeral port
		// How long stop() lets clients answer the close handshake before it ends the event loop regardless.
		int stopTimeoutMs = 2000;
		// How long a connection may take to finish its opening handshake before it is closed.
		int handshakeTimeoutMs = 3000;

		// Where datagrams may go: the cameras of the slots (setSlotAddresses), or with anyDestination any
		// usable camera address.
		bool anyDestination = false;
		// Web pages that may connect: the exact text of a browser's Origin header. A handshake without that
		// header does not come from a browser and is always accepted.
		QStringList allowedOrigins;
		// When not empty, a client is served only after presenting this secret in its opening handshake, as
		// "Authorization: Bearer <secret>" or as the query parameter "secret" (percent-encoded) of the address
		// it connects to; others get HTTP 401. A client address that keeps presenting a wrong one waits longer
		// and longer before its next try is looked at (HTTP 429 meanwhile).
		QString secret;
		SecretGuard::Options secretGuard;

		// Connections past this many at once are closed as soon as they are accepted. At most half of them may
		// be in their opening handshake: past that, the one that has been at it longest is closed, so that
		// sockets that never finish their handshake cannot keep WebSocket clients out.
		int maxConnections = 64;
		// Reply bytes that may wait for a client; a client that lets more pile up is closed with 1008.
		size_t maxQueuedBytes = 1024 * 1024;
	};

	// Why a relay that was asked to serve does not.
	enum class Failure { None, TcpPortInUse, UdpPortInUse, Other };

	// Limits on what a client may send: larger WebSocket messages are closed with 1009, larger datagrams refused.
	static constexpr size_t kMaxMessageSize = 64 * 1024;
	static constexpr size_t kMaxDatagramSize = 1024;

	explicit ViscaTransfer(QObject *parent = nullptr);
	explicit ViscaTransfer(const Options &options, QObject *parent = nullptr);
	~ViscaTransfer() override;

	// Starts the relay's thread; harmless when the relay could not bind its ports, or when called twice.
	void start();
	// Stops listening, closes the last client with 1001 and every other client, waits a bounded time for the
	// thread and ends it. Idempotent; also run by the destructor.
	void stop();
	// Stops as stop() does without holding the caller while clients say goodbye: the ports are free when it
	// returns, so that a new relay may bind them at once; the wait, the end of the thread and the release of the
	// endpoint follow on a thread of their own. The future is ready once that thread is done, within about the
	// stop timeout; the library must not unload before. The relay is idle afterwards.
	std::future<void> stopInBackground();

	// The camera addresses of the slots, for the requests from now on. Any thread may call it.
	void setSlotAddresses(const SlotAddressBook &addresses);

	// Both sockets are bound; false when a port was busy (the reason is in the log and in failure()).
	bool isServing() const;
	Failure failure() const;
	// The ports and the address actually bound (0 and null when not serving).
	quint16 tcpPort() const;
	quint16 udpPort() const;
	QHostAddress listeningAddress() const;
	// WebSocket clients connected now; any thread may ask.
	int clientCount() const;

private:
	class Server;
	std::unique_ptr<Server> d;
};
