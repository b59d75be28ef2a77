#include "ViscaTransfer.h"

#include "RelayMessage.h"
#include "ViscaTransferServer.h"
#include "WebSocketAsio.h"
#include "settings/CameraAddress.h"
#include "settings/OutsideText.h"
#include "visca/ViscaReplyPort.h"

#include <asio/post.hpp>

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <algorithm>
#include <exception>
#include <utility>

namespace {

// A receive error on a UDP socket is normally transient (an interrupted call, a full buffer); waiting a moment
// before the next receive keeps a persistent one from spinning the loop.
constexpr std::chrono::milliseconds kReceiveRetryDelay(50);

// Refusals of one kind that reach the log: a few at once, then one summary a minute at most.
constexpr int kRefusalLinesAtOnce = 5;
constexpr std::chrono::seconds kRefusalLogInterval(60);

// The loop frees the ports in the first handler it runs after a stop; it runs nothing that blocks, so this is a
// bound for a loop that has stopped turning, not a wait anyone sees.
constexpr std::chrono::milliseconds kPortsFreedWait(500);

// The largest TCP segment the relay sends: an Ethernet frame's. Over loopback the kernel would use 64 KiB segments,
// and a client on this machine whose receive buffer is smaller than one segment (a small socket buffer, set once
// connected, as WebSocket++ 0.8.3 does with a client's socket options) drops them: the relay sends again after
// ever longer timeouts, and what waits for that client, a close frame included, crawls in at one segment per
// timeout. The kernel also sizes a connection's send buffer by its segments: 64 KiB segments let it take in some
// 4 MiB of replies the relay's bound on waiting replies never sees, Ethernet-sized ones about a tenth of a MiB.
// Clients on other machines get such segments anyway.
constexpr int kMaxSegmentBytes = 1460;

void limitSegmentSize(asio::ip::tcp::acceptor &acceptor)
{
	// Set on the listening socket, it holds for every connection accepted from it. Where the system refuses,
	// the relay still serves, with the kernel's segments.
	asio::error_code error;
	acceptor.set_option(asio::detail::socket_option::integer<IPPROTO_TCP, TCP_MAXSEG>(kMaxSegmentBytes), error);
	if (error)
		qCDebug(lcRelay, "ViscaTransfer: Cannot limit the TCP segment size: %s", error.message().c_str());
}

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

ViscaTransfer::Server::Server(const Options &given)
    : options(given), allowedOrigins(originSet(given.allowedOrigins)),
      expectedDigest(given.secret.isEmpty() ? QByteArray() : secretDigest(given.secret.toUtf8())), acceptRetryDelay(0),
      destinationLog(kRefusalLinesAtOnce, kRefusalLogInterval), originLog(kRefusalLinesAtOnce, kRefusalLogInterval),
      secretLog(kRefusalLinesAtOnce, kRefusalLogInterval), secretGuard(given.secretGuard),
      connectionLog(kRefusalLinesAtOnce, kRefusalLogInterval), handshakeLog(1, kRefusalLogInterval),
      slotBook(std::make_shared<const SlotAddressBook>())
{
	websocketpp::lib::error_code error;
	endpoint.init_asio(error);
	if (error) {
		qCWarning(lcRelay, "ViscaTransfer: Cannot set up the WebSocket endpoint: %s", error.message().c_str());
		failure = Failure::Other;
		return;
	}
	configureEndpoint();
	if (!bindUdp() || !listenTcp())
		return;
	receiveRetryTimer.emplace(WebSocketAsio::loopOf(endpoint));
	acceptRetryTimer.emplace(WebSocketAsio::loopOf(endpoint));
	refusalReportTimer.emplace(WebSocketAsio::loopOf(endpoint));
	acceptNext();
	receiveNext();
	serving = true;
	logListening();
}

ViscaTransfer::Server::~Server()
{
	stop();
	// The endpoint's destructor then deletes the io_context, which destroys any handler still queued.
	acceptRetryTimer.reset();
	receiveRetryTimer.reset();
	refusalReportTimer.reset();
	udp.reset();
	releaseReplyPort();
}

void ViscaTransfer::Server::releaseReplyPort()
{
	if (holdsReplyPort)
		ViscaReplyPort::setRelayHoldsPort(false);
	holdsReplyPort = false;
}

void ViscaTransfer::Server::configureEndpoint()
{
	endpoint.clear_error_channels(websocketpp::log::elevel::all);
	endpoint.clear_access_channels(websocketpp::log::alevel::all);
#ifdef NDEBUG
	// Errors and connection events only: the frame and debug channels write lines for every reply.
	endpoint.set_error_channels(websocketpp::log::elevel::warn | websocketpp::log::elevel::rerror |
				    websocketpp::log::elevel::fatal);
	endpoint.set_access_channels(websocketpp::log::alevel::connect | websocketpp::log::alevel::disconnect |
				     websocketpp::log::alevel::fail);
#else
	// Every channel but the frame payloads, whose camera bytes would only repeat what the relay's own lines say,
	// and the library's development lines, which quote a handshake whole, with the secret a client presents.
	endpoint.set_error_channels(websocketpp::log::elevel::all);
	endpoint.set_access_channels(websocketpp::log::alevel::all ^ websocketpp::log::alevel::frame_payload ^
				     websocketpp::log::alevel::devel);
#endif
	endpoint.set_reuse_addr(true);
	endpoint.set_tcp_pre_bind_handler([](const RelayWebSocketServer::transport_type::acceptor_ptr &acceptor) {
		limitSegmentSize(*acceptor);
		return websocketpp::lib::error_code();
	});
	endpoint.set_max_message_size(kMaxMessageSize);
	// A client that does not answer the closing handshake, or does not read at all, is dropped by the library
	// well before stop() gives up on the whole loop.
	endpoint.set_close_handshake_timeout(std::max(1, options.stopTimeoutMs / 2));
	endpoint.set_open_handshake_timeout(std::max(1, options.handshakeTimeoutMs));
	endpoint.set_message_handler([this](ConnectionHandle connection, RelayWebSocketServer::message_ptr message) {
		messageHandler(std::move(connection), std::move(message));
	});
	endpoint.set_validate_handler([this](ConnectionHandle connection) { return validateHandshake(connection); });
	endpoint.set_open_handler([this](ConnectionHandle connection) { onOpen(connection); });
	endpoint.set_close_handler([this](ConnectionHandle connection) { onGone(connection); });
	endpoint.set_fail_handler([this](ConnectionHandle connection) { onFailed(connection); });
}

bool ViscaTransfer::Server::bindUdp()
{
	// The camera replies to the port the request came from, so the socket is fixed for the relay's lifetime.
	// Reuse-address lets the relay share 52381 with a camera link or simulator bound to one address.
	asio::error_code error;
	const asio::ip::udp::endpoint local(asio::ip::address_v4(options.udpAddress.toIPv4Address()), options.udpPort);
	// The links' own socket on that port steps aside first, so the two never split the datagrams between them.
	holdsReplyPort = options.udpPort == ViscaReplyPort::port();
	if (holdsReplyPort)
		ViscaReplyPort::setRelayHoldsPort(true);
	udp.emplace(WebSocketAsio::loopOf(endpoint));
	udp->open(asio::ip::udp::v4(), error);
	if (!error)
		udp->set_option(asio::socket_base::reuse_address(true), error);
	if (!error)
		udp->bind(local, error);
	if (!error)
		boundUdpPort = udp->local_endpoint(error).port();
	if (error) {
		qCWarning(lcRelay, "ViscaTransfer: Cannot bind UDP port %u: %s; the relay is off.",
			  unsigned(options.udpPort), error.message().c_str());
		failure = failureOf(error, Failure::UdpPortInUse);
		asio::error_code ignored;
		udp->close(ignored);
		releaseReplyPort();
		return false;
	}
	return true;
}

bool ViscaTransfer::Server::listenTcp()
{
	const QHostAddress &wanted = options.listenAddress;
	const bool dualStack = wanted.protocol() == QAbstractSocket::AnyIPProtocol;
	asio::ip::address address;
	asio::error_code error;
	if (dualStack)
		address = asio::ip::address_v6::any();
	else
		address = asio::ip::make_address(wanted.toString().toStdString(), error);

	if (!error)
		endpoint.listen(asio::ip::tcp::endpoint(address, options.tcpPort), error);
	if (error && dualStack) {
		// A host without IPv6 still takes IPv4 clients.
		error.clear();
		endpoint.listen(asio::ip::tcp::endpoint(asio::ip::address_v4::any(), options.tcpPort), error);
	}
	if (!error) {
		const asio::ip::tcp::endpoint local = endpoint.get_local_endpoint(error);
		boundTcpPort = local.port();
		boundAddress = QHostAddress(QString::fromStdString(local.address().to_string()));
		return true;
	}
	qCWarning(lcRelay, "ViscaTransfer: Cannot listen on TCP port %u: %s; the relay is off.",
		  unsigned(options.tcpPort), error.message().c_str());
	failure = failureOf(error, Failure::TcpPortInUse);
	asio::error_code ignored;
	udp->close(ignored);
	boundUdpPort = 0;
	releaseReplyPort();
	return false;
}

void ViscaTransfer::Server::logListening() const
{
	const QByteArray where = boundAddress.isLoopback() ? QByteArrayLiteral("this computer only")
							   : QByteArrayLiteral("all interfaces");
	const QByteArray destinations = options.anyDestination ? QByteArrayLiteral("any unicast address")
							       : QByteArrayLiteral("the cameras of the slots");
	qCInfo(lcRelay, "ViscaTransfer: Listening on TCP port %u (%s); relaying to %s; %d web pages allowed; %s.",
	       unsigned(boundTcpPort), where.constData(), destinations.constData(), int(allowedOrigins.size()),
	       expectedDigest.isEmpty() ? "no secret asked" : "clients must present the secret");
}

void ViscaTransfer::Server::start()
{
	if (!serving || started || stopped)
		return;
	thread = std::thread([this]() { run(); });
	started = true;
}

void ViscaTransfer::Server::run()
{
	// A handler that throws must not end the relay: the loop resumes with the next event.
	for (;;) {
		try {
			endpoint.run();
			break;
		} catch (const std::exception &e) {
			qCDebug(lcRelay, "Catch Error.");
			qCDebug(lcRelay, "ViscaTransfer: %s", e.what());
		} catch (...) {
			qCDebug(lcRelay, "Catch Error.");
		}
	}
	std::lock_guard<std::mutex> lock(finishMutex);
	finished = true;
	finishedChanged.notify_all();
}

void ViscaTransfer::Server::requestShutDown()
{
	if (shutDownRequested)
		return;
	shutDownRequested = true;
	if (started)
		asio::post(WebSocketAsio::loopOf(endpoint), [this]() { shutDown(); });
	else
		// No loop runs, so this thread may act on the loop's state itself.
		shutDown();
}

bool ViscaTransfer::Server::waitForPortsFreed(std::chrono::milliseconds timeout)
{
	std::unique_lock<std::mutex> lock(finishMutex);
	return finishedChanged.wait_for(lock, timeout, [this]() { return portsFreed || finished; });
}

void ViscaTransfer::Server::stop()
{
	if (stopped)
		return;
	stopped = true;
	try {
		requestShutDown();
		if (!started)
			return;
		bool loopEnded = false;
		{
			std::unique_lock<std::mutex> lock(finishMutex);
			loopEnded = finishedChanged.wait_for(lock, std::chrono::milliseconds(options.stopTimeoutMs),
							     [this]() { return finished; });
		}
		if (!loopEnded) {
			qCInfo(lcRelay, "ViscaTransfer: Clients did not close within %d ms; ending the relay's loop.",
			       options.stopTimeoutMs);
			endpoint.stop();
		}
		thread.join();
	} catch (...) {
		qCDebug(lcRelay, "Catch Error.");
		// The thread must never outlive the endpoint, whatever failed above.
		if (thread.joinable()) {
			endpoint.stop();
			thread.join();
		}
	}
}

void ViscaTransfer::Server::setSlotAddresses(std::shared_ptr<const SlotAddressBook> addresses)
{
	// The loop copies the pointer out under the lock and reads the book without it; the one replaced here is
	// freed by whichever side lets go of it last.
	std::lock_guard<std::mutex> lock(slotBookMutex);
	slotBook.swap(addresses);
}

// ------------------------------------------------------------------------------------------------ datagrams

void ViscaTransfer::Server::messageHandler(ConnectionHandle connection, RelayWebSocketServer::message_ptr message)
{
	// A message still arriving on a connection that is being closed has no one to answer it.
	if (closing)
		return;
	// The client that spoke last is the first to be told goodbye, even if what it said turns out to be unusable.
	lastClient = connection;
	const std::optional<RelayRequest> request = RelayMessage::parseRequest(message->get_payload());
	if (!request)
		return;

	const std::optional<uint32_t> camera = CameraAddress::ipv4(QString::fromStdString(request->ip));
	const bool allowed = camera && destinationAllowed(*camera);
	const bool validPort = RelayMessage::isValidPort(request->port);
	// Naming a camera makes this client the one its replies go to, even when the message is refused below;
	// naming anything else ends its claim on the camera it named before.
	routes.noteRequest(connection, allowed && validPort ? std::optional<RelayCamera>(
								      RelayCamera{*camera, uint16_t(request->port)})
							    : std::nullopt);

	if (request->data.empty()) {
		qCDebug(lcRelay, "Data is empty.");
		return refuse(connection, *request, "no data");
	}
	if (request->data.size() > kMaxDatagramSize) {
		qCDebug(lcRelay, "ViscaTransfer: Refused a datagram of %zu bytes; at most %zu are relayed.",
			request->data.size(), kMaxDatagramSize);
		return refuse(connection, *request, "datagram too long");
	}
	if (!camera) {
		qCDebug(lcRelay,
			"ViscaTransfer: Refused the address (%s): only camera addresses (IPv4 unicast) are relayed.",
			OutsideText::escaped(QString::fromStdString(request->ip), OutsideText::kLoggedLength)
				.constData());
		return refuse(connection, *request, "not a camera address");
	}
	if (!allowed) {
		destinationLog.info("ViscaTransfer: Refused to send to " +
				    QByteArray::fromStdString(asio::ip::address_v4(*camera).to_string()) +
				    ": the address is not assigned to a camera slot.");
		return refuse(connection, *request, "address not assigned to a camera slot");
	}
	if (!validPort) {
		qCDebug(lcRelay, "ViscaTransfer: Refused the port (%lld): it must be 1 to 65535.",
			(long long)request->port);
		return refuse(connection, *request, "port out of range");
	}
	if (RelayMessage::changesTheShot(request->data) && isLive(*camera)) {
		destinationLog.info("ViscaTransfer: Held back a command to " +
				    QByteArray::fromStdString(asio::ip::address_v4(*camera).to_string()) +
				    ": the camera is live on program in Studio Mode; stops and inquiries still go.");
		return refuse(connection, *request, "camera is live on program");
	}

	asio::error_code error;
	const size_t written =
		udp->send_to(asio::buffer(request->data),
			     asio::ip::udp::endpoint(asio::ip::address_v4(*camera), uint16_t(request->port)), 0, error);
	if (error) {
		qCDebug(lcRelay, "It's failed to write data to socket.");
		return;
	}
	if (written < request->data.size())
		qCDebug(lcRelay, "It's less than the size of byteArray.");
}

void ViscaTransfer::Server::refuse(ConnectionHandle client, const RelayRequest &request, const char *reason)
{
	websocketpp::lib::error_code error;
	const ConnectionPtr connection = endpoint.get_con_from_hdl(client, error);
	const std::string answer = RelayMessage::refusal(request, reason);
	if (!connection || !fitsQueue(connection, answer.size()))
		return;
	error = connection->send(answer, websocketpp::frame::opcode::text);
	if (error)
		qCDebug(lcRelay, "ViscaTransfer: The refusal could not be sent to the client: %s",
			error.message().c_str());
}

bool ViscaTransfer::Server::isLive(uint32_t address)
{
	std::shared_ptr<const SlotAddressBook> book;
	{
		std::lock_guard<std::mutex> lock(slotBookMutex);
		book = slotBook;
	}
	return book->isLive(address);
}

bool ViscaTransfer::Server::destinationAllowed(uint32_t address)
{
	if (options.anyDestination)
		return true;
	std::shared_ptr<const SlotAddressBook> book;
	{
		std::lock_guard<std::mutex> lock(slotBookMutex);
		book = slotBook;
	}
	return book->contains(address);
}

void ViscaTransfer::Server::receiveNext()
{
	udp->async_receive_from(asio::buffer(buffer), sender,
				[this](const asio::error_code &error, size_t size) { onDatagram(error, size); });
}

void ViscaTransfer::Server::onDatagram(const asio::error_code &error, size_t size)
{
	if (error == asio::error::operation_aborted || closing || !udp->is_open())
		return;
	if (error) {
		qCDebug(lcRelay, "ViscaTransfer: Receiving from the relay socket failed: %s", error.message().c_str());
		receiveRetryTimer->expires_after(kReceiveRetryDelay);
		receiveRetryTimer->async_wait([this](const asio::error_code &timerError) {
			if (!timerError && !closing)
				receiveNext();
		});
		return;
	}
	forwardReply(size);
	receiveNext();
}

void ViscaTransfer::Server::forwardReply(size_t size)
{
	const asio::ip::address senderAddress = sender.address();
	const std::string senderText = senderAddress.to_string();
	// Only a camera that a client addresses may answer, from the port it was sent to, and only to that client: a
	// late reply of a camera nobody addresses any longer would otherwise be taken for the answer to another
	// request, and anything on the camera's host could speak for the camera.
	const ConnectionHandle client =
		senderAddress.is_v4() ? routes.clientFor(RelayCamera{senderAddress.to_v4().to_uint(), sender.port()})
				      : ConnectionHandle();
	if (client.expired()) {
		// A camera that answers its link on this port rather than the port that asked.
		if (senderAddress.is_v4() &&
		    ViscaReplyPort::handOver(senderAddress.to_v4().to_uint(),
					     reinterpret_cast<const char *>(buffer.data()), size))
			return;
		qCDebug(lcRelay, "The data is from (%s)", senderText.c_str());
		return;
	}
	websocketpp::lib::error_code error;
	const ConnectionPtr connection = endpoint.get_con_from_hdl(client, error);
	const std::string reply = RelayMessage::reply(senderText, sender.port(), buffer.data(), size);
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

std::future<void> ViscaTransfer::stopInBackground()
{
	if (d) {
		try {
			d->requestShutDown();
			if (!d->waitForPortsFreed(kPortsFreedWait))
				qCInfo(lcRelay,
				       "ViscaTransfer: The relay's loop did not free its ports within %lld ms; a relay "
				       "started now may find them busy.",
				       (long long)kPortsFreedWait.count());
			// The thread owns the relay from here on. With no thread left to give, the relay goes with the
			// task that could not start, stopped by its destructor: the caller waits after all.
			return std::async(std::launch::async, [server = std::move(d)]() mutable {
				try {
					// stop() keeps the order: goodbyes, the wait, the join; the endpoint goes last.
					server->stop();
					server.reset();
				} catch (...) {
					qCDebug(lcRelay, "Catch Error.");
				}
			});
		} catch (const std::exception &e) {
			qCWarning(lcRelay, "ViscaTransfer: Cannot stop the relay in the background: %s", e.what());
		}
	}
	std::promise<void> done;
	done.set_value();
	return done.get_future();
}

void ViscaTransfer::setSlotAddresses(const SlotAddressBook &addresses)
{
	if (d)
		d->setSlotAddresses(std::make_shared<const SlotAddressBook>(addresses));
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
