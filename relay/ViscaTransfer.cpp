#include "ViscaTransfer.h"

#include "RelayMessage.h"
#include "ViscaTransferServer.h"

#include <asio/post.hpp>

#include <algorithm>
#include <exception>

namespace {

// A client-supplied text in a log line: bounded, so a hostile message cannot flood the host's log.
QByteArray loggable(const std::string &text)
{
	return QString::fromStdString(text.substr(0, 64)).simplified().toUtf8();
}

// A receive error on a UDP socket is normally transient (an interrupted call, a full buffer); waiting a moment
// before the next receive keeps a persistent one from spinning the loop.
constexpr std::chrono::milliseconds kReceiveRetryDelay(50);

// Refusals of one kind that reach the log: a few at once, then one summary a minute at most.
constexpr int kRefusalLinesAtOnce = 5;
constexpr std::chrono::seconds kRefusalLogInterval(60);

ViscaTransfer::Failure failureOf(const asio::error_code &error, ViscaTransfer::Failure whenInUse)
{
	return error == asio::error::address_in_use ? whenInUse : ViscaTransfer::Failure::Other;
}

std::set<std::string> originSet(const QStringList &origins)
{
	std::set<std::string> set;
	for (const QString &origin : origins)
		set.insert(origin.toStdString());
	return set;
}

} // namespace

ViscaTransfer::Server::Server(const Options &options)
    : m_options(options), m_allowedOrigins(originSet(options.allowedOrigins)),
      m_slots(options.settingsFilePath.toStdString()), m_acceptRetryDelay(0),
      m_destinationLog(kRefusalLinesAtOnce, kRefusalLogInterval), m_originLog(kRefusalLinesAtOnce, kRefusalLogInterval),
      m_connectionLog(kRefusalLinesAtOnce, kRefusalLogInterval)
{
	websocketpp::lib::error_code error;
	m_endpoint.init_asio(error);
	if (error) {
		qCWarning(lcRelay, "ViscaTransfer: Cannot set up the WebSocket endpoint: %s", error.message().c_str());
		failure = Failure::Other;
		return;
	}
	configureEndpoint();
	if (!bindUdp() || !listenTcp())
		return;
	m_receiveRetryTimer.emplace(m_endpoint.get_io_service());
	m_acceptRetryTimer.emplace(m_endpoint.get_io_service());
	acceptNext();
	receiveNext();
	serving = true;
	logListening();
}

ViscaTransfer::Server::~Server()
{
	stop();
	// The endpoint's destructor then deletes the io_context, which destroys any handler still queued.
	m_acceptRetryTimer.reset();
	m_receiveRetryTimer.reset();
	m_udp.reset();
}

void ViscaTransfer::Server::configureEndpoint()
{
	m_endpoint.clear_error_channels(websocketpp::log::elevel::all);
	m_endpoint.clear_access_channels(websocketpp::log::alevel::all);
#ifdef NDEBUG
	// Errors and connection events only: the frame and debug channels write lines for every reply.
	m_endpoint.set_error_channels(websocketpp::log::elevel::warn | websocketpp::log::elevel::rerror |
				      websocketpp::log::elevel::fatal);
	m_endpoint.set_access_channels(websocketpp::log::alevel::connect | websocketpp::log::alevel::disconnect |
				       websocketpp::log::alevel::fail);
#else
	// Every channel but the frame payloads: the camera bytes would only repeat what the relay's own lines say.
	m_endpoint.set_error_channels(websocketpp::log::elevel::all);
	m_endpoint.set_access_channels(websocketpp::log::alevel::all ^ websocketpp::log::alevel::frame_payload);
#endif
	m_endpoint.set_reuse_addr(true);
	m_endpoint.set_max_message_size(kMaxMessageSize);
	// A client that does not answer the closing handshake, or does not read at all, is dropped by the library
	// well before stop() gives up on the whole loop.
	m_endpoint.set_close_handshake_timeout(std::max(1, m_options.stopTimeoutMs / 2));
	m_endpoint.set_message_handler([this](ConnectionHandle connection, RelayWebSocketServer::message_ptr message) {
		messageHandler(std::move(connection), std::move(message));
	});
	m_endpoint.set_validate_handler([this](ConnectionHandle connection) { return validateHandshake(connection); });
	m_endpoint.set_open_handler([this](ConnectionHandle connection) { onOpen(connection); });
	m_endpoint.set_close_handler([this](ConnectionHandle connection) { onGone(connection); });
	m_endpoint.set_fail_handler([this](ConnectionHandle connection) { onGone(connection); });
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
		qCWarning(lcRelay, "ViscaTransfer: Cannot bind UDP port %u: %s; the relay is off.",
			  unsigned(m_options.udpPort), error.message().c_str());
		failure = failureOf(error, Failure::UdpPortInUse);
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
	asio::error_code error;
	if (dualStack)
		address = asio::ip::address_v6::any();
	else
		address = asio::ip::make_address(wanted.toString().toStdString(), error);

	if (!error)
		m_endpoint.listen(asio::ip::tcp::endpoint(address, m_options.tcpPort), error);
	if (error && dualStack) {
		// A host without IPv6 still takes IPv4 clients.
		error.clear();
		m_endpoint.listen(asio::ip::tcp::endpoint(asio::ip::address_v4::any(), m_options.tcpPort), error);
	}
	if (!error) {
		const asio::ip::tcp::endpoint local = m_endpoint.get_local_endpoint(error);
		boundTcpPort = local.port();
		boundAddress = QHostAddress(QString::fromStdString(local.address().to_string()));
		return true;
	}
	qCWarning(lcRelay, "ViscaTransfer: Cannot listen on TCP port %u: %s; the relay is off.",
		  unsigned(m_options.tcpPort), error.message().c_str());
	failure = failureOf(error, Failure::TcpPortInUse);
	asio::error_code ignored;
	m_udp->close(ignored);
	boundUdpPort = 0;
	return false;
}

void ViscaTransfer::Server::logListening() const
{
	const QByteArray where = boundAddress.isLoopback() ? QByteArrayLiteral("this computer only")
							   : QByteArrayLiteral("all interfaces");
	const QByteArray destinations = m_options.anyDestination ? QByteArrayLiteral("any unicast address")
								 : QByteArrayLiteral("the cameras of the slots");
	qCInfo(lcRelay, "ViscaTransfer: Listening on TCP port %u (%s); relaying to %s; %d web pages allowed.",
	       unsigned(boundTcpPort), where.constData(), destinations.constData(), int(m_allowedOrigins.size()));
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
			qCDebug(lcRelay, "Catch Error.");
			qCDebug(lcRelay, "ViscaTransfer: %s", e.what());
		} catch (...) {
			qCDebug(lcRelay, "Catch Error.");
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
			qCInfo(lcRelay, "ViscaTransfer: Clients did not close within %d ms; ending the relay's loop.",
			       m_options.stopTimeoutMs);
			m_endpoint.stop();
		}
		m_thread.join();
	} catch (...) {
		qCDebug(lcRelay, "Catch Error.");
		// The thread must never outlive the endpoint, whatever failed above.
		if (m_thread.joinable()) {
			m_endpoint.stop();
			m_thread.join();
		}
	}
}

// ------------------------------------------------------------------------------------------------ datagrams

void ViscaTransfer::Server::messageHandler(ConnectionHandle connection, RelayWebSocketServer::message_ptr message)
{
	// A message still arriving on a connection that is being closed has no one to answer it.
	if (m_closing)
		return;
	// The client that spoke last is the first to be told goodbye, even if what it said turns out to be unusable.
	m_lastClient = connection;
	const std::optional<RelayRequest> request = RelayMessage::parseRequest(message->get_payload());
	if (!request)
		return;

	const std::optional<uint32_t> camera = RelayMessage::unicastAddress(request->ip);
	const bool allowed = camera && destinationAllowed(*camera);
	// Naming a camera makes this client the one its replies go to, even when the message is refused below;
	// naming anything else ends its claim on the camera it named before.
	m_routes.noteRequest(connection, allowed ? camera : std::nullopt);

	if (request->data.empty()) {
		qCDebug(lcRelay, "Data is empty.");
		return;
	}
	if (request->data.size() > kMaxDatagramSize) {
		qCDebug(lcRelay, "ViscaTransfer: Refused a datagram of %zu bytes; at most %zu are relayed.",
			request->data.size(), kMaxDatagramSize);
		return;
	}
	if (!camera) {
		qCDebug(lcRelay, "ViscaTransfer: Refused the address (%s): only IPv4 unicast addresses are relayed.",
			loggable(request->ip).constData());
		return;
	}
	if (!allowed) {
		m_destinationLog.info("ViscaTransfer: Refused to send to " +
				      QByteArray::fromStdString(asio::ip::address_v4(*camera).to_string()) +
				      ": the address is not assigned to a camera slot.");
		return;
	}
	if (!RelayMessage::isValidPort(request->port)) {
		qCDebug(lcRelay, "ViscaTransfer: Refused the port (%lld): it must be 1 to 65535.",
			(long long)request->port);
		return;
	}

	asio::error_code error;
	const size_t written = m_udp->send_to(
		asio::buffer(request->data),
		asio::ip::udp::endpoint(asio::ip::address_v4(*camera), uint16_t(request->port)), 0, error);
	if (error) {
		qCDebug(lcRelay, "It's failed to write data to socket.");
		return;
	}
	if (written < request->data.size())
		qCDebug(lcRelay, "It's less than the size of byteArray.");
}

bool ViscaTransfer::Server::destinationAllowed(uint32_t address)
{
	return m_options.anyDestination || m_slots.contains(address);
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
		qCDebug(lcRelay, "ViscaTransfer: Receiving from the relay socket failed: %s", error.message().c_str());
		m_receiveRetryTimer->expires_after(kReceiveRetryDelay);
		m_receiveRetryTimer->async_wait([this](const asio::error_code &timerError) {
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
	// Only a camera that a client addresses may answer, and only to that client: a late reply of a camera
	// nobody addresses any longer would otherwise be taken for the answer to another request.
	const ConnectionHandle client =
		sender.is_v4() ? m_routes.clientFor(sender.to_v4().to_uint()) : ConnectionHandle();
	if (client.expired()) {
		qCDebug(lcRelay, "The data is from (%s)", senderText.c_str());
		return;
	}
	websocketpp::lib::error_code error;
	const ConnectionPtr connection = m_endpoint.get_con_from_hdl(client, error);
	const std::string reply = RelayMessage::reply(senderText, m_sender.port(), m_buffer.data(), size);
	if (connection && !fitsQueue(connection, reply.size()))
		return;
	if (connection)
		error = connection->send(reply, websocketpp::frame::opcode::text);
	if (error)
		qCDebug(lcRelay, "ViscaTransfer: The reply could not be sent to the client: %s",
			error.message().c_str());
}

// ---------------------------------------------------------------------------------------------------------------

ViscaTransfer::ViscaTransfer(QObject *parent) : ViscaTransfer(Options(), parent) {}

ViscaTransfer::ViscaTransfer(const Options &options, QObject *parent) : QObject(parent)
{
	try {
		d = std::make_unique<Server>(options);
	} catch (const std::exception &e) {
		qCWarning(lcRelay, "ViscaTransfer: Cannot set up the relay: %s", e.what());
	} catch (...) {
		qCWarning(lcRelay, "ViscaTransfer: Cannot set up the relay.");
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
		qCWarning(lcRelay, "ViscaTransfer: Cannot start the relay's thread: %s", e.what());
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

ViscaTransfer::Failure ViscaTransfer::failure() const
{
	return d ? d->failure : Failure::Other;
}

quint16 ViscaTransfer::tcpPort() const
{
	return d ? d->boundTcpPort : 0;
}

quint16 ViscaTransfer::udpPort() const
{
	return d ? d->boundUdpPort : 0;
}

QHostAddress ViscaTransfer::listeningAddress() const
{
	return d ? d->boundAddress : QHostAddress();
}

int ViscaTransfer::clientCount() const
{
	return d ? d->clientCount.load() : 0;
}
