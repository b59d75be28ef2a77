#pragma once

// The relay's event loop and everything that runs on it; private to ViscaTransfer. Setting up, stopping and the
// datagrams are in ViscaTransfer.cpp, the connections (accepting, limits, handshakes) in ViscaTransfer_Connections.cpp.

#include "RelayLog.h"
#include "RelayMessage.h"
#include "RelayRoutes.h"
#include "RelayWebSocketConfig.h"
#include "SecretGuard.h"
#include "SlotAddressBook.h"
#include "ViscaTransfer.h"

#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

class ViscaTransfer::Server {
public:
	explicit Server(const Options &given);
	~Server();

	void start();
	void stop();
	// Hands the shutdown to the loop, or runs it while no loop runs; the first call only.
	void requestShutDown();
	// Waits at most `timeout` until the shutdown has closed the listening and the UDP socket.
	bool waitForPortsFreed(std::chrono::milliseconds timeout);
	// Any thread.
	void setSlotAddresses(std::shared_ptr<const SlotAddressBook> addresses);

	// Set up before the loop runs, constant afterwards.
	bool serving = false;
	Failure failure = Failure::None;
	quint16 boundTcpPort = 0;
	quint16 boundUdpPort = 0;
	// The relay listens on the controller's VISCA port: camera replies none of its clients waits for go on to
	// the camera links.
	bool holdsReplyPort = false;
	QHostAddress boundAddress;
	// Written on the loop thread, read anywhere.
	std::atomic<int> clientCount{0};

private:
	using ConnectionHandle = websocketpp::connection_hdl;
	using ConnectionPtr = RelayWebSocketServer::connection_ptr;
	using ConnectionSet = std::set<ConnectionHandle, std::owner_less<ConnectionHandle>>;

	// --- Setting up, on the owner's thread before the loop runs ---
	void configureEndpoint();
	void releaseReplyPort();
	bool bindUdp();
	bool listenTcp();
	void logListening() const;
	void run();

	// --- Connections, on the loop thread (or on the owner's thread while no loop runs) ---
	void acceptNext();
	void onAccepted(const ConnectionPtr &connection, const websocketpp::lib::error_code &error);
	void retryAcceptLater(const websocketpp::lib::error_code &error);
	void refuseConnection(const ConnectionPtr &connection);
	void admitConnection(const ConnectionPtr &connection);
	int maxHandshaking() const;
	bool cutOldestHandshake();
	static bool letIn(const ConnectionPtr &connection);
	void forgetHandshake(const ConnectionHandle &connection);
	bool validateHandshake(ConnectionHandle connection);
	bool originAllowed(const ConnectionPtr &connection);
	bool presentsSecret(const ConnectionPtr &connection);
	void countSecretRefusal(const std::string &address, bool waiting);
	void reportSecretRefusals();
	static QByteArray secretDigest(const QByteArray &secret);
	void onOpen(ConnectionHandle connection);
	void onFailed(ConnectionHandle connection);
	void onGone(ConnectionHandle connection);
	void publishClientCount();
	bool fitsQueue(const ConnectionPtr &client, size_t bytes);
	void closeForBacklog(const ConnectionPtr &client);
	void shutDown();
	void dropUnfinished();

	// --- Datagrams, on the loop thread ---
	void messageHandler(ConnectionHandle connection, RelayWebSocketServer::message_ptr message);
	bool destinationAllowed(uint32_t address);
	bool isLive(uint32_t address);
	// Tells `client` that `request` was not sent, and why.
	void refuse(ConnectionHandle client, const RelayRequest &request, const char *reason);
	void receiveNext();
	void onDatagram(const asio::error_code &error, size_t size);
	void forwardReply(size_t size);

	const Options options;
	const std::set<std::string> allowedOrigins;
	const QByteArray expectedDigest; // SHA-256 of Options::secret; empty when no secret is asked
	RelayWebSocketServer endpoint;   // owns the io_context; declared before the sockets and timers that use it
	std::optional<asio::ip::udp::socket> udp;
	std::optional<asio::steady_timer> receiveRetryTimer;
	std::optional<asio::steady_timer> acceptRetryTimer;
	std::optional<asio::steady_timer> refusalReportTimer;
	std::array<uint8_t, 65536> buffer{};
	asio::ip::udp::endpoint sender;

	ConnectionSet connections;                // open WebSocket connections the relay serves
	ConnectionSet leaving;                    // closed for their backlog, still taking what came before the close
	std::deque<ConnectionHandle> handshaking; // accepted, opening handshake not yet finished; oldest first
	int liveConnections = 0;                  // accepted and not yet ended, whatever their state
	ConnectionHandle lastClient;
	RelayRoutes routes;
	std::chrono::milliseconds acceptRetryDelay;
	int acceptFailures = 0;
	RelayLogLimiter destinationLog;
	RelayLogLimiter originLog;
	RelayLogLimiter secretLog;
	SecretGuard secretGuard;
	// Handshakes refused for the secret since the last report: all of them, those told to wait, and from where.
	uint64_t secretRefusals = 0;
	uint64_t secretWaits = 0;
	std::set<std::string> refusingAddresses;
	RelayLogLimiter connectionLog;
	RelayLogLimiter handshakeLog;
	bool closing = false;

	// --- Any thread ---
	std::mutex slotBookMutex;
	std::shared_ptr<const SlotAddressBook> slotBook; // under slotBookMutex; read by the loop, replaced whole

	// --- Owner's thread ---
	std::thread thread;
	bool started = false;
	bool shutDownRequested = false;
	bool stopped = false;
	std::mutex finishMutex;
	std::condition_variable finishedChanged;
	bool portsFreed = false; // under finishMutex
	bool finished = false;   // under finishMutex
};
