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
		m_endpoint.clear_access_channels(websocketpp::log::alevel::all);
		m_endpoint.clear_error_channels(websocketpp::log::elevel::all);
		websocketpp::lib::error_code error;
		m_endpoint.init_asio(error);
		m_endpoint.set_open_handler([this](websocketpp::connection_hdl) { setState(State::Open); });
		m_endpoint.set_fail_handler(
			[this](websocketpp::connection_hdl connection) { end(State::Failed, connection); });
		m_endpoint.set_close_handler(
			[this](websocketpp::connection_hdl connection) { end(State::Closed, connection); });
		m_endpoint.set_message_handler([this](websocketpp::connection_hdl, Endpoint::message_ptr message) {
			std::lock_guard<std::mutex> lock(m_mutex);
			m_messages.append(QString::fromStdString(message->get_payload()));
			m_changed.notify_all();
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
			m_endpoint.set_socket_init_handler(
				[receiveBuffer](websocketpp::connection_hdl, asio::ip::tcp::socket &s) {
					asio::error_code ignored;
					s.set_option(asio::socket_base::receive_buffer_size(receiveBuffer), ignored);
				});
		websocketpp::lib::error_code error;
		const auto connection =
			m_endpoint.get_connection("ws://127.0.0.1:" + std::to_string(port) + resource, error);
		if (error)
			return false;
		if (!origin.empty())
			connection->replace_header("Origin", origin);
		if (!authorization.empty())
			connection->replace_header("Authorization", authorization);
		m_connection = connection->get_handle();
		m_endpoint.connect(connection);
		m_thread = std::thread([this]() { m_endpoint.run(); });
		std::unique_lock<std::mutex> lock(m_mutex);
		return m_changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [this]() {
			return m_state != State::Connecting;
		}) && m_state == State::Open;
	}
	// The HTTP status of a handshake that failed; -1 when none came.
	int httpStatus() const
	{
		std::lock_guard<std::mutex> lock(m_mutex);
		return m_httpStatus;
	}

	void send(const QString &text) { send(text.toUtf8(), websocketpp::frame::opcode::text); }
	void send(const QByteArray &bytes, websocketpp::frame::opcode::value opcode)
	{
		const std::string payload = bytes.toStdString();
		asio::post(WebSocketAsio::loopOf(m_endpoint), [this, payload, opcode]() {
			websocketpp::lib::error_code ignored;
			m_endpoint.send(m_connection, payload, opcode, ignored);
		});
	}

	// A polite goodbye: the close handshake.
	void close()
	{
		asio::post(WebSocketAsio::loopOf(m_endpoint), [this]() {
			websocketpp::lib::error_code ignored;
			m_endpoint.close(m_connection, websocketpp::close::status::normal, "", ignored);
		});
	}

	// Holds the client's thread, so it reads nothing, until resumeReading(); true once it is held.
	bool pauseReading()
	{
		asio::post(WebSocketAsio::loopOf(m_endpoint), [this]() {
			std::unique_lock<std::mutex> lock(m_mutex);
			m_paused = true;
			m_changed.notify_all();
			m_changed.wait(lock, [this]() { return !m_paused; });
		});
		std::unique_lock<std::mutex> lock(m_mutex);
		return m_changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [this]() { return m_paused; });
	}
	void resumeReading()
	{
		std::lock_guard<std::mutex> lock(m_mutex);
		m_paused = false;
		m_changed.notify_all();
	}

	bool waitForMessages(int count, int timeoutMs = kWaitMs)
	{
		std::unique_lock<std::mutex> lock(m_mutex);
		return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
					  [&]() { return m_messages.size() >= count; });
	}
	QStringList messages() const
	{
		std::lock_guard<std::mutex> lock(m_mutex);
		return m_messages;
	}
	// The close code the relay sent; -1 while the connection is not closed.
	int waitForClose(int timeoutMs = kWaitMs)
	{
		std::unique_lock<std::mutex> lock(m_mutex);
		m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
				   [this]() { return m_state == State::Closed || m_state == State::Failed; });
		return m_state == State::Closed ? m_closeCode : -1;
	}

	void shutDown()
	{
		if (!m_thread.joinable())
			return;
		resumeReading();
		close();
		if (waitForClose(2000) < 0)
			m_endpoint.stop();
		m_thread.join();
	}

private:
	enum class State { Connecting, Open, Failed, Closed };
	void end(State state, websocketpp::connection_hdl connection)
	{
		websocketpp::lib::error_code ignored;
		const auto con = m_endpoint.get_con_from_hdl(connection, ignored);
		std::lock_guard<std::mutex> lock(m_mutex);
		m_httpStatus = con ? int(con->get_response_code()) : -1;
		m_closeCode = con ? int(con->get_remote_close_code()) : -1;
		m_state = state;
		m_changed.notify_all();
	}
	void setState(State state)
	{
		std::lock_guard<std::mutex> lock(m_mutex);
		m_state = state;
		m_changed.notify_all();
	}

	Endpoint m_endpoint;
	websocketpp::connection_hdl m_connection;
	std::thread m_thread;
	mutable std::mutex m_mutex;
	std::condition_variable m_changed;
	State m_state = State::Connecting;
	QStringList m_messages;
	int m_closeCode = -1;
	int m_httpStatus = -1;
	bool m_paused = false;
};
