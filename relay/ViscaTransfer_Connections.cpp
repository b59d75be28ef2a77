// The relay's connections: its own accept loop (with the connection cap, the share of it open to connections still in
// their handshake, and a back-off when accepting fails), the handshake checks of browsers' origins and of the secret,
// the bound on replies waiting for a client, and the goodbye at stop.

#include "ViscaTransferServer.h"

#include "settings/OutsideText.h"

#include <QCryptographicHash>
#include <QUrlQuery>

#include <strings.h>

#include <algorithm>
#include <vector>

namespace {

// Accepting fails when the process has no file left to give (EMFILE) and keeps failing until one is closed; the
// loop waits between attempts instead of spinning on the failure.
constexpr std::chrono::milliseconds kAcceptRetryFirstDelay(50);
constexpr std::chrono::milliseconds kAcceptRetryLongestDelay(1000);

// Refusals for the secret are counted and the count logged this long after the first of them, and at stop: a
// guesser's thousands of tries show as one line with their number, not as five lines and silence.
constexpr std::chrono::seconds kRefusalReportInterval(60);

// A client closed for not reading gets this long to take the replies queued before the close frame, the frame itself,
// and to answer it; only then does its socket go. A client that merely fell behind learns why it was closed instead
// of meeting a reset, and one that reads nothing at all is dropped all the same.
constexpr long kBacklogCloseTimeoutMs = 10000;

std::string peerOf(const RelayWebSocketServer::connection_ptr &connection)
{
	asio::error_code error;
	const asio::ip::tcp::endpoint peer = connection->get_raw_socket().remote_endpoint(error);
	return error ? std::string("an unknown peer")
		     : OutsideText::escaped(QString::fromStdString(peer.address().to_string()), 64).toStdString();
}

// The secret a client presents: "Authorization: Bearer <secret>", or else the query parameter "secret" of the address
// it connects to, for clients such as browsers that cannot set a header. None when it presents neither.
std::optional<QByteArray> presentedSecret(const RelayWebSocketServer::connection_ptr &connection)
{
	static const std::string bearer = "Bearer ";
	const std::string authorization = connection->get_request_header("Authorization");
	if (authorization.size() > bearer.size() &&
	    strncasecmp(authorization.c_str(), bearer.c_str(), bearer.size()) == 0)
		return QByteArray::fromStdString(authorization.substr(bearer.size())).trimmed();
	const std::string &resource = connection->get_resource();
	const size_t query = resource.find('?');
	if (query == std::string::npos)
		return std::nullopt;
	const QUrlQuery items(QString::fromStdString(resource.substr(query + 1)));
	const QString name = QStringLiteral("secret");
	if (!items.hasQueryItem(name))
		return std::nullopt;
	return items.queryItemValue(name, QUrl::FullyDecoded).toUtf8();
}

} // namespace

void ViscaTransfer::Server::acceptNext()
{
	if (closing)
		return;
	const ConnectionPtr connection = endpoint.get_connection();
	websocketpp::lib::error_code error;
	endpoint.async_accept(
		std::static_pointer_cast<RelayWebSocketServer::transport_con_type>(connection),
		[this, connection](const websocketpp::lib::error_code &acceptError) {
			onAccepted(connection, acceptError);
		},
		error);
	if (!error)
		return;
	// A connection made for an accept that never started must be ended, or the library keeps it.
	connection->terminate(websocketpp::lib::error_code());
	if (error != websocketpp::error::async_accept_not_listening)
		retryAcceptLater(error);
}

void ViscaTransfer::Server::onAccepted(const ConnectionPtr &connection, const websocketpp::lib::error_code &error)
{
	if (error) {
		connection->terminate(error);
		// Cancelled: the relay stopped listening.
		if (!closing && error != websocketpp::error::operation_canceled)
			retryAcceptLater(error);
		return;
	}
	if (acceptFailures > 0)
		qCInfo(lcRelay, "ViscaTransfer: Accepting connections again after %d failed attempts.", acceptFailures);
	acceptFailures = 0;

	// Room is made by the connection that has had the longest to finish its handshake; when every place is a
	// WebSocket client's, the newcomer is refused.
	const bool full = liveConnections >= options.maxConnections;
	const bool roomNeeded = full || int(handshaking.size()) >= maxHandshaking();
	if (roomNeeded && !cutOldestHandshake() && full)
		refuseConnection(connection);
	else
		admitConnection(connection);
	acceptNext();
}

void ViscaTransfer::Server::retryAcceptLater(const websocketpp::lib::error_code &error)
{
	acceptRetryDelay =
		acceptFailures == 0 ? kAcceptRetryFirstDelay : std::min(acceptRetryDelay * 2, kAcceptRetryLongestDelay);
	++acceptFailures;
	// One line in the host's log for a run of failures; the rest is chatter.
	if (acceptFailures == 1)
		qCInfo(lcRelay, "ViscaTransfer: Cannot accept a connection (%s); trying again in %lld ms.",
		       error.message().c_str(), (long long)acceptRetryDelay.count());
	else
		qCDebug(lcRelay, "ViscaTransfer: Cannot accept a connection (%s); trying again in %lld ms.",
			error.message().c_str(), (long long)acceptRetryDelay.count());
	acceptRetryTimer->expires_after(acceptRetryDelay);
	acceptRetryTimer->async_wait([this](const asio::error_code &timerError) {
		if (!timerError && !closing)
			acceptNext();
	});
}

void ViscaTransfer::Server::refuseConnection(const ConnectionPtr &connection)
{
	connectionLog.info("ViscaTransfer: Refused a connection from " + QByteArray::fromStdString(peerOf(connection)) +
			   ": " + QByteArray::number(options.maxConnections) +
			   " connections are open, the most the relay takes.");
	// Never started, so closing the socket is all there is to it.
	asio::error_code ignored;
	connection->get_raw_socket().close(ignored);
}

void ViscaTransfer::Server::admitConnection(const ConnectionPtr &connection)
{
	// Replies are small frames that must leave the moment their datagram arrives. With Nagle's algorithm the
	// second of two replies waits for the client's delayed acknowledgement, some 40 ms on Linux.
	asio::error_code error;
	connection->get_raw_socket().set_option(asio::ip::tcp::no_delay(true), error);
	if (error)
		qCDebug(lcRelay, "ViscaTransfer: Cannot send without delay to %s: %s", peerOf(connection).c_str(),
			error.message().c_str());
	++liveConnections;
	handshaking.push_back(connection->get_handle());
	// Runs once for every connection that started, however it ends (after the close or fail handler).
	connection->set_termination_handler([this](const ConnectionPtr &ended) {
		--liveConnections;
		forgetHandshake(ended->get_handle());
		publishClientCount();
	});
	connection->start();
}

int ViscaTransfer::Server::maxHandshaking() const
{
	return std::max(1, options.maxConnections / 2);
}

bool ViscaTransfer::Server::cutOldestHandshake()
{
	for (auto oldest = handshaking.begin(); oldest != handshaking.end(); ++oldest) {
		websocketpp::lib::error_code error;
		const ConnectionPtr connection = endpoint.get_con_from_hdl(*oldest, error);
		if (connection && letIn(connection))
			continue;
		handshaking.erase(oldest);
		// Its time is up early: the fail handler tells it like a handshake that ran out of time.
		if (connection)
			connection->terminate(
				websocketpp::error::make_error_code(websocketpp::error::open_handshake_timeout));
		return true;
	}
	return false;
}

bool ViscaTransfer::Server::letIn(const ConnectionPtr &connection)
{
	// Its handshake is through and the answer on its way; it opens with the next turn of the loop.
	return connection->get_response_code() == websocketpp::http::status_code::switching_protocols;
}

void ViscaTransfer::Server::forgetHandshake(const ConnectionHandle &connection)
{
	const auto found = std::find_if(handshaking.begin(), handshaking.end(), [&](const ConnectionHandle &each) {
		return RelayRoutes::sameClient(each, connection);
	});
	if (found != handshaking.end())
		handshaking.erase(found);
}

bool ViscaTransfer::Server::validateHandshake(ConnectionHandle connection)
{
	websocketpp::lib::error_code error;
	const ConnectionPtr con = endpoint.get_con_from_hdl(connection, error);
	if (!con)
		return false;
	return originAllowed(con) && presentsSecret(con);
}

bool ViscaTransfer::Server::originAllowed(const ConnectionPtr &connection)
{
	// Browsers let any web page open a WebSocket to any host and say only which page it is; programs that are
	// not browsers send no Origin at all.
	const std::string origin = connection->get_request_header("Origin");
	if (origin.empty() || allowedOrigins.count(origin) > 0)
		return true;
	connection->set_status(websocketpp::http::status_code::forbidden);
	originLog.info("ViscaTransfer: Refused the web page " +
		       OutsideText::escaped(QString::fromStdString(origin), 200) +
		       ": its origin is not in RelayAllowedOrigins.");
	return false;
}

bool ViscaTransfer::Server::presentsSecret(const ConnectionPtr &connection)
{
	if (expectedDigest.isEmpty())
		return true;
	// asio's own words for the address: a text of digits, dots and colons.
	asio::error_code error;
	const asio::ip::tcp::endpoint peer = connection->get_raw_socket().remote_endpoint(error);
	const std::string address = SecretGuard::keyOf(error ? std::string() : peer.address().to_string());
	const SecretGuard::Clock::time_point now = SecretGuard::Clock::now();
	// An address that guessed wrong too often waits: its tries meanwhile are not even compared, the right one
	// included.
	if (const SecretGuard::Clock::duration wait = secretGuard.waitFor(address, now);
	    wait > SecretGuard::Clock::duration::zero()) {
		const auto seconds = std::chrono::ceil<std::chrono::seconds>(wait).count();
		connection->set_status(websocketpp::http::status_code::too_many_requests);
		connection->append_header("Retry-After", std::to_string(seconds));
		countSecretRefusal(address, true);
		return false;
	}
	const std::optional<QByteArray> presented = presentedSecret(connection);
	// Digests of equal length, every byte compared: the time taken tells nothing of how much of a guess was right.
	const QByteArray digest = secretDigest(presented.value_or(QByteArray()));
	char difference = 0;
	for (int i = 0; i < digest.size(); ++i)
		difference |= char(digest.at(i) ^ expectedDigest.at(i));
	if (presented && difference == 0) {
		secretGuard.succeeded(address);
		return true;
	}
	connection->set_status(websocketpp::http::status_code::unauthorized);
	connection->append_header("WWW-Authenticate", "Bearer");
	const SecretGuard::Clock::duration wait = secretGuard.failed(address, now);
	const QByteArray shown = QByteArray::fromStdString(peerOf(connection));
	secretLog.info("ViscaTransfer: Refused a client at " + shown +
		       (presented ? ": the secret it presented is not RelaySecret."
				  : ": it presented no secret, and RelaySecret is set."));
	if (wait == secretGuard.firstWait())
		secretLog.info("ViscaTransfer: " + shown + " got RelaySecret wrong too often; its next try waits " +
			       QByteArray::number(qint64(std::chrono::ceil<std::chrono::seconds>(wait).count())) +
			       " s, and longer after each wrong one.");
	countSecretRefusal(address, false);
	return false;
}

void ViscaTransfer::Server::countSecretRefusal(const std::string &address, bool waiting)
{
	if (secretRefusals == 0 && refusalReportTimer && !closing) {
		refusalReportTimer->expires_after(kRefusalReportInterval);
		refusalReportTimer->async_wait([this](const asio::error_code &error) {
			if (!error)
				reportSecretRefusals();
		});
	}
	++secretRefusals;
	secretWaits += waiting ? 1 : 0;
	if (refusingAddresses.size() < 1000)
		refusingAddresses.insert(address);
}

void ViscaTransfer::Server::reportSecretRefusals()
{
	if (secretRefusals == 0)
		return;
	qCInfo(lcRelay,
	       "ViscaTransfer: %llu handshakes refused for RelaySecret (%llu of them told to wait; client addresses: "
	       "%zu) "
	       "since the first such refusal.",
	       (unsigned long long)secretRefusals, (unsigned long long)secretWaits, refusingAddresses.size());
	secretRefusals = 0;
	secretWaits = 0;
	refusingAddresses.clear();
}

QByteArray ViscaTransfer::Server::secretDigest(const QByteArray &secret)
{
	return QCryptographicHash::hash(secret, QCryptographicHash::Sha256);
}

void ViscaTransfer::Server::onOpen(ConnectionHandle connection)
{
	forgetHandshake(connection);
	if (closing) {
		// Finished its handshake while the relay was shutting down: it would keep the loop alive.
		websocketpp::lib::error_code ignored;
		endpoint.close(connection, websocketpp::close::status::going_away, "", ignored);
		return;
	}
	connections.insert(connection);
	publishClientCount();
}

void ViscaTransfer::Server::onFailed(ConnectionHandle connection)
{
	websocketpp::lib::error_code error;
	const ConnectionPtr failed = endpoint.get_con_from_hdl(connection, error);
	// One line for a burst of them: sockets that never finish their handshake come in numbers.
	if (failed && failed->get_ec() == websocketpp::error::open_handshake_timeout)
		handshakeLog.info(
			QStringLiteral("ViscaTransfer: Closing connections that do not finish their WebSocket "
				       "handshake in time (%1 ms, less when newer ones need the room); the "
				       "first was from %2.")
				.arg(options.handshakeTimeoutMs)
				.arg(QString::fromStdString(peerOf(failed)))
				.toUtf8());
	onGone(connection);
}

void ViscaTransfer::Server::onGone(ConnectionHandle connection)
{
	connections.erase(connection);
	leaving.erase(connection);
	routes.forget(connection);
}

void ViscaTransfer::Server::publishClientCount()
{
	clientCount.store(int(connections.size()));
}

bool ViscaTransfer::Server::fitsQueue(const ConnectionPtr &client, size_t bytes)
{
	const size_t waiting = client->get_buffered_amount();
	if (waiting + bytes <= options.maxQueuedBytes)
		return true;
	// Closed once; until the library drops it, later replies are simply not queued.
	if (client->get_state() == websocketpp::session::state::open) {
		qCInfo(lcRelay,
		       "ViscaTransfer: Closed the client at %s: it does not read its replies (%zu bytes would wait, at "
		       "most %zu may).",
		       peerOf(client).c_str(), waiting + bytes, options.maxQueuedBytes);
		closeForBacklog(client);
	}
	return false;
}

void ViscaTransfer::Server::closeForBacklog(const ConnectionPtr &client)
{
	// The close frame waits behind the replies already queued; the socket stays until it is written and
	// answered, or until the client has had its time.
	client->set_close_handshake_timeout(kBacklogCloseTimeoutMs);
	websocketpp::lib::error_code ignored;
	client->close(websocketpp::close::status::policy_violation, "replies not read", ignored);
	// From here on it is no longer served: not counted, sent no replies, not waited for at stop.
	const ConnectionHandle handle = client->get_handle();
	connections.erase(handle);
	routes.forget(handle);
	leaving.insert(handle);
	publishClientCount();
}

void ViscaTransfer::Server::shutDown()
{
	closing = true;
	websocketpp::lib::error_code error;
	if (serving) {
		endpoint.stop_listening(error);
		qCInfo(lcRelay, "ViscaTransfer: Stopped listening on TCP port %u; closing %zu clients.",
		       unsigned(boundTcpPort), connections.size());
	}

	error.clear();
	endpoint.close(lastClient, websocketpp::close::status::going_away, "", error);
	if (error)
		qCDebug(lcRelay, "ViscaTransfer: Error closing connection");
	// The close handler edits the set; work on a copy.
	const ConnectionSet others = connections;
	for (const ConnectionHandle &connection : others) {
		if (RelayRoutes::sameClient(connection, lastClient))
			continue;
		websocketpp::lib::error_code ignored;
		endpoint.close(connection, websocketpp::close::status::going_away, "", ignored);
	}

	dropUnfinished();
	reportSecretRefusals();

	asio::error_code ignored;
	if (acceptRetryTimer)
		acceptRetryTimer->cancel();
	if (refusalReportTimer)
		refusalReportTimer->cancel();
	if (receiveRetryTimer)
		receiveRetryTimer->cancel();
	if (udp)
		udp->close(ignored);
	{
		std::lock_guard<std::mutex> lock(finishMutex);
		portsFreed = true;
	}
	finishedChanged.notify_all();
}

void ViscaTransfer::Server::dropUnfinished()
{
	// A connection in its opening handshake has no WebSocket to say goodbye on (one already let in says it as it
	// opens); a client closed for its backlog was told already, and the relay does not wait for that to drain.
	std::vector<ConnectionPtr> unfinished;
	for (const ConnectionHandle &connection : handshaking) {
		websocketpp::lib::error_code error;
		if (const ConnectionPtr opening = endpoint.get_con_from_hdl(connection, error))
			if (!letIn(opening))
				unfinished.push_back(opening);
	}
	for (const ConnectionHandle &connection : leaving) {
		websocketpp::lib::error_code error;
		if (const ConnectionPtr closed = endpoint.get_con_from_hdl(connection, error))
			unfinished.push_back(closed);
	}
	// Their handlers edit both containers, so they are ended only now.
	for (const ConnectionPtr &connection : unfinished)
		connection->terminate(websocketpp::lib::error_code());
}
