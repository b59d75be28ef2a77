#pragma once

#include "RelayLog.h"
#include "settings/OutsideText.h"

#include <websocketpp/config/asio_no_tls.hpp>
#include <websocketpp/logger/levels.hpp>
#include <websocketpp/server.hpp>

#include <algorithm>
#include <atomic>
#include <string>

// WebSocket++ writes its access and error logs to std::cout and std::cerr by default; inside the host those lines
// would bypass its log. This logger hands them to Qt logging under their own category, so the host can filter them
// like any other line of ours. The channel mask is atomic because it is set on the UI thread before the loop starts
// and read on the loop thread.
template <typename Names, bool IsErrorLog>
class RelayWebSocketLog {
public:
	using level = websocketpp::log::level;

	explicit RelayWebSocketLog(
		websocketpp::log::channel_type_hint::value = websocketpp::log::channel_type_hint::none)
	{
	}
	RelayWebSocketLog(level allowed, websocketpp::log::channel_type_hint::value) : staticChannels(allowed) {}

	void set_channels(level channels)
	{
		if (channels == Names::none) {
			clear_channels(Names::all);
			return;
		}
		dynamicChannels.fetch_or(channels & staticChannels);
	}
	void clear_channels(level channels) { dynamicChannels.fetch_and(~channels); }

	void write(level channel, const char *message) { write(channel, std::string(message)); }
	void write(level channel, std::string message)
	{
		if (!dynamic_test(channel))
			return;
		hideQueries(message);
		// The library quotes what a client sent about itself (its user agent, the address it asked for).
		const QByteArray line = OutsideText::escaped(QString::fromStdString(message), kLineLength);
		// The library's "errors" are mostly a client's misfortune (a failed handshake, a dropped connection),
		// and stopping the acceptor is reported as one too; only a fatal one is a warning of ours.
		const char *name = Names::channel_name(channel);
		if (IsErrorLog && channel >= websocketpp::log::elevel::fatal)
			qCWarning(lcRelayWebSocket, "[%s] %s", name, line.constData());
		else if (IsErrorLog && channel >= websocketpp::log::elevel::warn)
			qCInfo(lcRelayWebSocket, "[%s] %s", name, line.constData());
		else
			qCDebug(lcRelayWebSocket, "[%s] %s", name, line.constData());
	}

	bool static_test(level channel) const { return (channel & staticChannels) != 0; }
	bool dynamic_test(level channel) const { return (channel & dynamicChannels.load()) != 0; }

private:
	static constexpr int kLineLength = 400;

	// A client may present the relay's secret in the query of the address it connects to, which the library's
	// connect and fail lines quote; no query reaches the log.
	static void hideQueries(std::string &message)
	{
		for (size_t mark = message.find('?'); mark != std::string::npos; mark = message.find('?', mark + 1)) {
			const size_t end = std::min(message.find(' ', mark), message.size());
			message.replace(mark + 1, end - mark - 1, "...");
		}
	}

	level staticChannels = Names::all;
	std::atomic<level> dynamicChannels{0};
};

// The stock asio configuration with the Qt-routed loggers and the relay's message limit.
struct RelayWebSocketConfig : public websocketpp::config::asio {
	using type = RelayWebSocketConfig;
	using base = websocketpp::config::asio;

	using concurrency_type = base::concurrency_type;
	using request_type = base::request_type;
	using response_type = base::response_type;
	using message_type = base::message_type;
	using con_msg_manager_type = base::con_msg_manager_type;
	using endpoint_msg_manager_type = base::endpoint_msg_manager_type;
	using rng_type = base::rng_type;

	using alog_type = RelayWebSocketLog<websocketpp::log::alevel, false>;
	using elog_type = RelayWebSocketLog<websocketpp::log::elevel, true>;

	// A relay message names one datagram of at most 1 KiB; 64 KiB leaves room for any spelling of it, and a
	// larger message is closed with 1009 before it is buffered whole.
	static const size_t max_message_size = 64 * 1024;

	struct transport_config : public base::transport_config {
		using concurrency_type = type::concurrency_type;
		using alog_type = type::alog_type;
		using elog_type = type::elog_type;
		using request_type = type::request_type;
		using response_type = type::response_type;
		using socket_type = websocketpp::transport::asio::basic_socket::endpoint;
	};

	using transport_type = websocketpp::transport::asio::endpoint<transport_config>;
};

using RelayWebSocketServer = websocketpp::server<RelayWebSocketConfig>;
