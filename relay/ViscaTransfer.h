#pragma once

#include <QHostAddress>
#include <QObject>

#include <memory>

// The VISCA relay: a WebSocket server through which another program sends raw VISCA-over-IP datagrams to any
// camera and receives the camera's replies.
//
// A client sends {"ip": camera address, "port": camera UDP port, "data": [bytes]}; the bytes leave unchanged from
// the relay's own UDP socket. Every datagram that comes back from the camera of the most recent message is sent
// the moment it arrives to the client of the most recent message, as {"data":[...],"ip":"...","port":N}.
//
// Everything runs on one thread of the relay's own: the WebSocket endpoint and the UDP socket share one asio event
// loop, so nothing ever waits for a reply. State of the loop (the connections, the last client, the last camera
// address) is touched only on that thread, and stop() hands its work to the loop instead of reaching in.
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
	};

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

	// Both sockets are bound; false when a port was busy (the reason is in the log).
	bool isServing() const;
	// The ports actually bound (0 when not serving).
	quint16 tcpPort() const;
	quint16 udpPort() const;

private:
	class Server;
	std::unique_ptr<Server> d;
};
