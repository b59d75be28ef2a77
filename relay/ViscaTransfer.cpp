#include "ViscaTransfer.h"

#include "RelayMessage.h"
#include "RelayWebSocketConfig.h"

#include <QDebug>

#include <asio/ip/udp.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

Q_LOGGING_CATEGORY(lcRelayWebSocket, "kavren.relay.websocket")

namespace {

using ConnectionHandle = websocketpp::connection_hdl;
using ConnectionSet = std::set<ConnectionHandle, std::owner_less<ConnectionHandle>>;

bool sameConnection(const ConnectionHandle &a, const ConnectionHandle &b)
{
	return !a.owner_before(b) && !b.owner_before(a);
}

// A client-supplied text in a log line: bounded, so a hostile message cannot flood the host's log.
QByteArray loggable(const std::string &text)
{
	return QString::fromStdString(text.substr(0, 64)).simplified().toUtf8();
}

// A receive error on a UDP socket is normally transient (an interrupted call, a full buffer); waiting a moment
// before the next receive keeps a persistent one from spinning the loop.
constexpr std::chrono::milliseconds kReceiveRetryDelay(50);

} // namespace

class ViscaTransfer::Server {
public:
	explicit Server(const Options &options);
	~Server();

	void start();
	void stop();

	bool serving = false;
	quint16 boundTcpPort = 0;
	quint16 boundUdpPort = 0;

private:
	bool bindUdp();
	bool listenTcp();
	void run();

	// --- On the loop thread only (or on the owner's thread while no loop runs) ---
	void messageHandler(ConnectionHandle connection, RelayWebSocketServer::message_ptr message);
	void receiveNext();
	void onDatagram(const asio::error_code &error, size_t size);
	void forwardReply(size_t size);
	void shutDown();

	const Options m_options;
	RelayWebSocketServer m_endpoint; // owns the io_context; declared first so it is destroyed last
	std::optional<asio::ip::udp::socket> m_udp;
	std::optional<asio::steady_timer> m_retryTimer;
	std::array<uint8_t, 65536> m_buffer{};
	asio::ip::udp::endpoint m_sender;

	ConnectionSet m_connections;
	ConnectionHandle m_lastClient;
	std::optional<asio::ip::address_v4> m_lastCamera;
	bool m_closing = false;

	// --- Owner's thread ---
	std::thread m_thread;
	bool m_started = false;
	bool m_stopped = false;
	std::mutex m_finishMutex;
	std::condition_variable m_finishedChanged;
	bool m_finished = false; // under m_finishMutex
};

ViscaTransfer::Server::Server(const Options &options) : m_options(options)
{
	asio::error_code asioError;
	websocketpp::lib::error_code error;

	// Every error channel, every access channel but the frame payloads: the camera bytes would only repeat
	// what the relay's own lines say.
	m_endpoint.set_error_channels(websocketpp::log::elevel::all);
	m_endpoint.set_access_channels(websocketpp::log::alevel::all);
	m_endpoint.clear_access_channels(websocketpp::log::alevel::frame_payload);

	m_endpoint.init_asio(error);
	if (error) {
		qWarning("ViscaTransfer: Cannot set up the WebSocket endpoint: %s", error.message().c_str());
		return;
	}
	m_endpoint.set_reuse_addr(true);
	m_endpoint.set_max_message_size(kMaxMessageSize);
	// A client that does not answer the closing handshake is dropped by the library well before stop() gives
	// up on the whole loop.
	m_endpoint.set_close_handshake_timeout(std::max(1, m_options.stopTimeoutMs / 2));
	m_endpoint.set_message_handler([this](ConnectionHandle connection, RelayWebSocketServer::message_ptr message) {
		messageHandler(std::move(connection), std::move(message));
	});
	m_endpoint.set_open_handler([this](ConnectionHandle connection) {
		if (m_closing) {
			// Finished its handshake while the relay was shutting down: it would keep the loop alive.
			websocketpp::lib::error_code ignored;
			m_endpoint.close(connection, websocketpp::close::status::going_away, "", ignored);
			return;
		}
		m_connections.insert(connection);
	});
	m_endpoint.set_close_handler([this](ConnectionHandle connection) { m_connections.erase(connection); });
	m_endpoint.set_fail_handler([this](ConnectionHandle connection) { m_connections.erase(connection); });

	if (!bindUdp() || !listenTcp())
		return;
	m_endpoint.start_accept(error);
	if (error) {
		qWarning("ViscaTransfer: Cannot accept connections on TCP port %u: %s", unsigned(boundTcpPort),
			 error.message().c_str());
		m_endpoint.stop_listening(error);
		m_udp->close(asioError);
		boundTcpPort = boundUdpPort = 0;
		return;
	}
	m_retryTimer.emplace(m_endpoint.get_io_service());
	receiveNext();
	serving = true;
}

ViscaTransfer::Server::~Server()
{
	stop();
	// The endpoint's destructor then deletes the io_context, which destroys any handler still queued.
	m_retryTimer.reset();
	m_udp.reset();
}

bool ViscaTransfer::Server::bindUdp()
{
	// The camera replies to the port the request came from, so the socket is fixed for the relay's lifetime.
	// Reuse-address lets the relay share 52381 with a camera link or simulator bound to one address.
	asio::error_code error;
	const asio::ip::udp::endpoint local(asio::ip::address_v4(m_options.udpAddress.toIPv4Address()),
					    m_options.udpPort);
	m_udp.emplace(m_endpoint.get_io_service());
	m_udp->open(asio::ip::udp::v4(), error);
	if (!error)
		m_udp->set_option(asio::socket_base::reuse_address(true), error);
	if (!error)
		m_udp->bind(local, error);
	if (!error)
		boundUdpPort = m_udp->local_endpoint(error).port();
	if (error) {
		qWarning("ViscaTransfer: Cannot bind UDP port %u: %s; the relay is off.", unsigned(m_options.udpPort),
			 error.message().c_str());
		asio::error_code ignored;
		m_udp->close(ignored);
		return false;
	}
	return true;
}

bool ViscaTransfer::Server::listenTcp()
{
	const QHostAddress &wanted = m_options.listenAddress;
	const bool dualStack = wanted.protocol() == QAbstractSocket::AnyIPProtocol;
	asio::ip::address address;
	if (dualStack) {
		address = asio::ip::address_v6::any();
	} else {
		asio::error_code parseError;
		address = asio::ip::make_address(wanted.toString().toStdString(), parseError);
		if (parseError) {
			qWarning("ViscaTransfer: Cannot listen on %s: %s; the relay is off.",
				 qPrintable(wanted.toString()), parseError.message().c_str());
			return false;
		}
	}

	websocketpp::lib::error_code error;
	m_endpoint.listen(asio::ip::tcp::endpoint(address, m_options.tcpPort), error);
	if (error && dualStack) {
		// A host without IPv6 still takes IPv4 clients.
		m_endpoint.listen(asio::ip::tcp::endpoint(asio::ip::address_v4::any(), m_options.tcpPort), error);
	}
	if (!error) {
		asio::error_code endpointError;
		boundTcpPort = m_endpoint.get_local_endpoint(endpointError).port();
		return true;
	}
	qWarning("ViscaTransfer: Cannot listen on TCP port %u: %s; the relay is off.", unsigned(m_options.tcpPort),
		 error.message().c_str());
	asio::error_code ignored;
	m_udp->close(ignored);
	boundUdpPort = 0;
	return false;
}

void ViscaTransfer::Server::start()
{
	if (!serving || m_started || m_stopped)
		return;
	m_thread = std::thread([this]() { run(); });
	m_started = true;
}

void ViscaTransfer::Server::run()
{
	// A handler that throws must not end the relay: the loop resumes with the next event.
	for (;;) {
		try {
			m_endpoint.run();
			break;
		} catch (const std::exception &e) {
			qDebug("Catch Error.");
			qDebug("ViscaTransfer: %s", e.what());
		} catch (...) {
			qDebug("Catch Error.");
		}
	}
	std::lock_guard<std::mutex> lock(m_finishMutex);
	m_finished = true;
	m_finishedChanged.notify_all();
}

void ViscaTransfer::Server::stop()
{
	if (m_stopped)
		return;
	m_stopped = true;
	try {
		if (!m_started) {
			// No loop runs, so this thread may act on the loop's state itself.
			shutDown();
			return;
		}
		asio::post(m_endpoint.get_io_service(), [this]() { shutDown(); });
		bool finished = false;
		{
			std::unique_lock<std::mutex> lock(m_finishMutex);
			finished = m_finishedChanged.wait_for(lock, std::chrono::milliseconds(m_options.stopTimeoutMs),
							      [this]() { return m_finished; });
		}
		if (!finished) {
			qWarning("ViscaTransfer: Clients did not close within %d ms; ending the relay's loop.",
				 m_options.stopTimeoutMs);
			m_endpoint.stop();
		}
		m_thread.join();
	} catch (...) {
		qDebug("Catch Error.");
		// The thread must never outlive the endpoint, whatever failed above.
		if (m_thread.joinable()) {
			m_endpoint.stop();
			m_thread.join();
		}
	}
}

void ViscaTransfer::Server::shutDown()
{
	m_closing = true;
	websocketpp::lib::error_code error;
	if (serving)
		m_endpoint.stop_listening(error);

	error.clear();
	m_endpoint.close(m_lastClient, websocketpp::close::status::going_away, "", error);
	if (error)
		qDebug("ViscaTransfer: Error closing connection");
	// The close handler edits the set; work on a copy.
	const ConnectionSet others = m_connections;
	for (const ConnectionHandle &connection : others) {
		if (sameConnection(connection, m_lastClient))
			continue;
		websocketpp::lib::error_code ignored;
		m_endpoint.close(connection, websocketpp::close::status::going_away, "", ignored);
	}

	asio::error_code ignored;
	if (m_retryTimer)
		m_retryTimer->cancel();
	if (m_udp)
		m_udp->close(ignored);
}

void ViscaTransfer::Server::messageHandler(ConnectionHandle connection, RelayWebSocketServer::message_ptr message)
{
	// A message still arriving on a connection that is being closed has no one to answer it.
	if (m_closing)
		return;
	// Replies go to whoever spoke last, even if what it said turns out to be unusable.
	m_lastClient = connection;
	const std::optional<RelayRequest> request = RelayMessage::parseRequest(message->get_payload());
	if (!request)
		return;

	m_lastCamera.reset();
	if (const std::optional<uint32_t> camera = RelayMessage::unicastAddress(request->ip))
		m_lastCamera = asio::ip::address_v4(*camera);

	if (request->data.empty()) {
		qDebug("Data is empty.");
		return;
	}
	if (request->data.size() > kMaxDatagramSize) {
		qDebug("ViscaTransfer: Refused a datagram of %zu bytes; at most %zu are relayed.", request->data.size(),
		       kMaxDatagramSize);
		return;
	}
	if (!m_lastCamera) {
		qDebug("ViscaTransfer: Refused the address (%s): only IPv4 unicast addresses are relayed.",
		       loggable(request->ip).constData());
		return;
	}
	if (!RelayMessage::isValidPort(request->port)) {
		qDebug("ViscaTransfer: Refused the port (%lld): it must be 1 to 65535.", (long long)request->port);
		return;
	}

	asio::error_code error;
	const size_t written = m_udp->send_to(
		asio::buffer(request->data), asio::ip::udp::endpoint(*m_lastCamera, uint16_t(request->port)), 0, error);
	if (error) {
		qDebug("It's failed to write data to socket.");
		return;
	}
	if (written < request->data.size())
		qDebug("It's less than the size of byteArray.");
}

void ViscaTransfer::Server::receiveNext()
{
	m_udp->async_receive_from(asio::buffer(m_buffer), m_sender,
				  [this](const asio::error_code &error, size_t size) { onDatagram(error, size); });
}

void ViscaTransfer::Server::onDatagram(const asio::error_code &error, size_t size)
{
	if (error == asio::error::operation_aborted || m_closing || !m_udp->is_open())
		return;
	if (error) {
		qDebug("ViscaTransfer: Receiving from the relay socket failed: %s", error.message().c_str());
		m_retryTimer->expires_after(kReceiveRetryDelay);
		m_retryTimer->async_wait([this](const asio::error_code &timerError) {
			if (!timerError && !m_closing)
				receiveNext();
		});
		return;
	}
	forwardReply(size);
	receiveNext();
}

void ViscaTransfer::Server::forwardReply(size_t size)
{
	const asio::ip::address sender = m_sender.address();
	const std::string senderText = sender.to_string();
	// Only the camera of the most recent message may answer; a late reply of a camera addressed earlier would
	// otherwise be taken by the client for an answer to its current request.
	if (!m_lastCamera || sender != asio::ip::address(*m_lastCamera)) {
		qDebug("The data is from (%s)", senderText.c_str());
		return;
	}
	websocketpp::lib::error_code error;
	m_endpoint.send(m_lastClient, RelayMessage::reply(senderText, m_sender.port(), m_buffer.data(), size),
			websocketpp::frame::opcode::text, error);
	if (error)
		qDebug("ViscaTransfer: The reply could not be sent to the client: %s", error.message().c_str());
}

// ---------------------------------------------------------------------------------------------------------------

ViscaTransfer::ViscaTransfer(QObject *parent) : ViscaTransfer(Options(), parent) {}

ViscaTransfer::ViscaTransfer(const Options &options, QObject *parent) : QObject(parent)
{
	try {
		d = std::make_unique<Server>(options);
	} catch (const std::exception &e) {
		qWarning("ViscaTransfer: Cannot set up the relay: %s", e.what());
	} catch (...) {
		qWarning("ViscaTransfer: Cannot set up the relay.");
	}
}

ViscaTransfer::~ViscaTransfer()
{
	stop();
}

void ViscaTransfer::start()
{
	if (!d)
		return;
	try {
		d->start();
	} catch (const std::exception &e) {
		// std::thread throws when the system has no thread left to give.
		qWarning("ViscaTransfer: Cannot start the relay's thread: %s", e.what());
	}
}

void ViscaTransfer::stop()
{
	if (d)
		d->stop();
}

bool ViscaTransfer::isServing() const
{
	return d && d->serving;
}

quint16 ViscaTransfer::tcpPort() const
{
	return d ? d->boundTcpPort : 0;
}

quint16 ViscaTransfer::udpPort() const
{
	return d ? d->boundUdpPort : 0;
}
