#pragma once

// A WebSocket++ client of the relay on a thread of its own; every call into its endpoint is posted to that thread.
// Shared by the relay's tests.

#include "relay/WebSocketAsio.h"

#include <QString>
#include <QStringList>

#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_no_tls_client.hpp>

#include <asio/post.hpp>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class RelayTestClient {
public:
	using Endpoint = websocketpp::client<websocketpp::config::asio_client>;
	static constexpr int kWaitMs = 5000;

	RelayTestClient()
	{
		endpoint.clear_access_channels(websocketpp::log::alevel::all);
		endpoint.clear_error_channels(websocketpp::log::elevel::all);
		websocketpp::lib::error_code error;
		endpoint.init_asio(error);
		endpoint.set_open_handler([this](websocketpp::connection_hdl) { setState(State::Open); });
		endpoint.set_fail_handler(
			[this](websocketpp::connection_hdl connection) { end(State::Failed, connection); });
		endpoint.set_close_handler(
			[this](websocketpp::connection_hdl connection) { end(State::Closed, connection); });
		endpoint.set_message_handler([this](websocketpp::connection_hdl, Endpoint::message_ptr message) {
			std::lock_guard<std::mutex> lock(mutex);
			receivedMessages.append(QString::fromStdString(message->get_payload()));
			changed.notify_all();
		});
	}
	~RelayTestClient() { shutDown(); }
	// The path and query, and the Authorization header, the next connect() sends.
	std::string resource = "/";
	std::string authorization;

	RelayTestClient(const RelayTestClient &) = delete;
	RelayTestClient &operator=(const RelayTestClient &) = delete;

	// True once the handshake succeeded; `origin`, when given, is sent as a browser sends it. A small
	// `receiveBuffer` keeps the kernel from taking in much for a client that pauses its reading.
	bool connect(quint16 port, const std::string &origin = std::string(), int receiveBuffer = 0)
	{
		if (receiveBuffer > 0)
			endpoint.set_socket_init_handler(
				[receiveBuffer](websocketpp::connection_hdl, asio::ip::tcp::socket &s) {
					asio::error_code ignored;
					s.set_option(asio::socket_base::receive_buffer_size(receiveBuffer), ignored);
				});
		websocketpp::lib::error_code error;
		const auto connection =
			endpoint.get_connection("ws://127.0.0.1:" + std::to_string(port) + resource, error);
		if (error)
			return false;
		if (!origin.empty())
			connection->replace_header("Origin", origin);
		if (!authorization.empty())
			connection->replace_header("Authorization", authorization);
		connectionHandle = connection->get_handle();
		endpoint.connect(connection);
		thread = std::thread([this]() { endpoint.run(); });
		std::unique_lock<std::mutex> lock(mutex);
		return changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [this]() {
			return connectionState != State::Connecting;
		}) && connectionState == State::Open;
	}
	// The HTTP status of a handshake that failed; -1 when none came.
	int httpStatus() const
	{
		std::lock_guard<std::mutex> lock(mutex);
		return responseStatus;
	}

	void send(const QString &text) { send(text.toUtf8(), websocketpp::frame::opcode::text); }
	void send(const QByteArray &bytes, websocketpp::frame::opcode::value opcode)
	{
		const std::string payload = bytes.toStdString();
		asio::post(WebSocketAsio::loopOf(endpoint), [this, payload, opcode]() {
			websocketpp::lib::error_code ignored;
			endpoint.send(connectionHandle, payload, opcode, ignored);
		});
	}

	// A polite goodbye: the close handshake.
	void close()
	{
		asio::post(WebSocketAsio::loopOf(endpoint), [this]() {
			websocketpp::lib::error_code ignored;
			endpoint.close(connectionHandle, websocketpp::close::status::normal, "", ignored);
		});
	}

	// Holds the client's thread, so it reads nothing, until resumeReading(); true once it is held.
	bool pauseReading()
	{
		asio::post(WebSocketAsio::loopOf(endpoint), [this]() {
			std::unique_lock<std::mutex> lock(mutex);
			paused = true;
			changed.notify_all();
			changed.wait(lock, [this]() { return !paused; });
		});
		std::unique_lock<std::mutex> lock(mutex);
		return changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [this]() { return paused; });
	}
	void resumeReading()
	{
		std::lock_guard<std::mutex> lock(mutex);
		paused = false;
		changed.notify_all();
	}

	bool waitForMessages(int count, int timeoutMs = kWaitMs)
	{
		std::unique_lock<std::mutex> lock(mutex);
		return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
					[&]() { return receivedMessages.size() >= count; });
	}
	QStringList messages() const
	{
		std::lock_guard<std::mutex> lock(mutex);
		return receivedMessages;
	}
	// The close code the relay sent; -1 while the connection is not closed.
	int waitForClose(int timeoutMs = kWaitMs)
	{
		std::unique_lock<std::mutex> lock(mutex);
		changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this]() {
			return connectionState == State::Closed || connectionState == State::Failed;
		});
		return connectionState == State::Closed ? closeCode : -1;
	}

	void shutDown()
	{
		if (!thread.joinable())
			return;
		resumeReading();
		close();
		if (waitForClose(2000) < 0)
			endpoint.stop();
		thread.join();
	}

private:
	enum class State { Connecting, Open, Failed, Closed };
	void end(State state, websocketpp::connection_hdl connection)
	{
		websocketpp::lib::error_code ignored;
		const auto con = endpoint.get_con_from_hdl(connection, ignored);
		std::lock_guard<std::mutex> lock(mutex);
		responseStatus = con ? int(con->get_response_code()) : -1;
		closeCode = con ? int(con->get_remote_close_code()) : -1;
		connectionState = state;
		changed.notify_all();
	}
	void setState(State state)
	{
		std::lock_guard<std::mutex> lock(mutex);
		connectionState = state;
		changed.notify_all();
	}

	Endpoint endpoint;
	websocketpp::connection_hdl connectionHandle;
	std::thread thread;
	mutable std::mutex mutex;
	std::condition_variable changed;
	State connectionState = State::Connecting;
	QStringList receivedMessages;
	int closeCode = -1;
	int responseStatus = -1;
	bool paused = false;
};
