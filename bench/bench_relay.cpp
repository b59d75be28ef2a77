// Cost of the WebSocket relay compared with talking to the camera directly.
//
// relay:  a WebSocket++ client sends the pan-tilt home command as a relay message and waits for the relay
//         message carrying the camera's acknowledge (the completion is drained before the next run).
// direct: a plain QUdpSocket sends the same datagram to the same simulated camera and waits for the acknowledge.
// Both are sampled alternately in one run, so the machine's load hits them alike; the difference is what the
// relay adds: a WebSocket frame each way, JSON both ways and one hop through the relay's event loop.
// pairs per second: one client sending the power inquiry and waiting for its one answer, back to back, for a
// bounded time.
//
// Sends only to 127.0.0.x; every loop is bounded.

#include "CameraSimulator.h"
#include "relay/ViscaTransfer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QUdpSocket>

#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_no_tls_client.hpp>

#include <asio/post.hpp>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kRuns = 1000;
constexpr int kWarmUp = 50;
constexpr int kReplyTimeoutMs = 1000;
constexpr int kMaxFailures = 10;
constexpr qint64 kThroughputMs = 2000;

double medianOf(std::vector<double> samples)
{
	if (samples.empty())
		return 0.0;
	const auto middle = samples.begin() + samples.size() / 2;
	std::nth_element(samples.begin(), middle, samples.end());
	return *middle;
}

QByteArray datagram(const char *payloadHex, uint8_t type, int serial)
{
	const QByteArray payload = QByteArray::fromHex(payloadHex);
	QByteArray bytes;
	bytes.append(char(0x01)).append(char(type)).append(char(0)).append(char(payload.size()));
	for (int shift : {12, 8, 4, 0})
		bytes.append(char((serial >> shift) & 0xF));
	return bytes + payload;
}

std::string relayMessage(const QString &ip, quint16 port, const QByteArray &bytes)
{
	std::string data;
	for (char byte : bytes)
		data += (data.empty() ? "" : ",") + std::to_string(uint8_t(byte));
	return "{\"ip\":\"" + ip.toStdString() + "\",\"port\":" + std::to_string(port) + ",\"data\":[" + data + "]}";
}

// A WebSocket++ client on its own thread that counts the messages it receives.
class BenchClient {
public:
	using Endpoint = websocketpp::client<websocketpp::config::asio_client>;

	BenchClient()
	{
		m_endpoint.clear_access_channels(websocketpp::log::alevel::all);
		m_endpoint.clear_error_channels(websocketpp::log::elevel::all);
		websocketpp::lib::error_code error;
		m_endpoint.init_asio(error);
		m_endpoint.set_open_handler(
			[this](websocketpp::connection_hdl) { change([this]() { m_open = true; }); });
		m_endpoint.set_fail_handler(
			[this](websocketpp::connection_hdl) { change([this]() { m_ended = true; }); });
		m_endpoint.set_close_handler(
			[this](websocketpp::connection_hdl) { change([this]() { m_ended = true; }); });
		m_endpoint.set_message_handler([this](websocketpp::connection_hdl, Endpoint::message_ptr) {
			change([this]() { ++m_messages; });
		});
	}
	~BenchClient()
	{
		if (!m_thread.joinable())
			return;
		asio::post(m_endpoint.get_io_service(), [this]() {
			websocketpp::lib::error_code ignored;
			m_endpoint.close(m_connection, websocketpp::close::status::normal, "", ignored);
		});
		std::unique_lock<std::mutex> lock(m_mutex);
		if (!m_changed.wait_for(lock, std::chrono::seconds(2), [this]() { return m_ended; }))
			m_endpoint.stop();
		lock.unlock();
		m_thread.join();
	}

	bool connect(quint16 port)
	{
		websocketpp::lib::error_code error;
		const auto connection = m_endpoint.get_connection("ws://127.0.0.1:" + std::to_string(port), error);
		if (error)
			return false;
		m_connection = connection->get_handle();
		m_endpoint.connect(connection);
		m_thread = std::thread([this]() { m_endpoint.run(); });
		std::unique_lock<std::mutex> lock(m_mutex);
		return m_changed.wait_for(lock, std::chrono::milliseconds(kReplyTimeoutMs * 5), [this]() {
			return m_open || m_ended;
		}) && m_open;
	}

	int messages()
	{
		std::lock_guard<std::mutex> lock(m_mutex);
		return m_messages;
	}

	void send(const std::string &text)
	{
		asio::post(m_endpoint.get_io_service(), [this, text]() {
			websocketpp::lib::error_code ignored;
			m_endpoint.send(m_connection, text, websocketpp::frame::opcode::text, ignored);
		});
	}

	bool waitForMessages(int count)
	{
		std::unique_lock<std::mutex> lock(m_mutex);
		return m_changed.wait_for(lock, std::chrono::milliseconds(kReplyTimeoutMs),
					  [&]() { return m_messages >= count; });
	}

private:
	template <typename F>
	void change(F f)
	{
		std::lock_guard<std::mutex> lock(m_mutex);
		f();
		m_changed.notify_all();
	}

	Endpoint m_endpoint;
	websocketpp::connection_hdl m_connection;
	std::thread m_thread;
	std::mutex m_mutex;
	std::condition_variable m_changed;
	bool m_open = false;
	bool m_ended = false;
	int m_messages = 0;
};

// Reads datagrams until `count` have come; false on timeout.
bool receiveDatagrams(QUdpSocket &socket, int count)
{
	QByteArray buffer(2048, '\0');
	for (int i = 0; i < count; ++i) {
		if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(kReplyTimeoutMs))
			return false;
		socket.readDatagram(buffer.data(), buffer.size());
	}
	return true;
}

} // namespace

int main(int argc, char **argv)
{
	QCoreApplication app(argc, argv);
	// Log lines would measure the terminal, not the relay.
	QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\nkavren.relay.websocket.info=false"));

	CameraSimulator::Options simOptions;
	simOptions.address = QHostAddress(QStringLiteral("127.0.0.41"));
	simOptions.port = 0;
	CameraSimulator sim(simOptions);
	QString error;
	if (!sim.start(&error)) {
		std::fprintf(stderr, "simulator did not start: %s\n", qPrintable(error));
		return 1;
	}

	ViscaTransfer::Options relayOptions;
	relayOptions.listenAddress = QHostAddress(QHostAddress::LocalHost);
	relayOptions.tcpPort = 0;
	relayOptions.udpPort = 0;
	ViscaTransfer relay(relayOptions);
	relay.start();
	if (!relay.isServing()) {
		std::fprintf(stderr, "the relay did not start\n");
		return 1;
	}
	BenchClient client;
	if (!client.connect(relay.tcpPort())) {
		std::fprintf(stderr, "the client could not connect to the relay\n");
		return 1;
	}
	QUdpSocket direct;
	if (!direct.bind(QHostAddress(QHostAddress::LocalHost), 0)) {
		std::fprintf(stderr, "no socket for the direct measurement\n");
		return 1;
	}

	const QString camera = sim.address().toString();
	std::vector<double> relaySamples, directSamples;
	relaySamples.reserve(kRuns);
	directSamples.reserve(kRuns);
	int failures = 0;
	QElapsedTimer timer;
	for (int run = 0; run < kWarmUp + kRuns && failures < kMaxFailures; ++run) {
		const QByteArray home = datagram("81010604ff", 0x00, run & 0xFFFF);
		const std::string message = relayMessage(camera, sim.port(), home);

		// Relay: the acknowledge is the first of the two messages; the completion is waited for untimed.
		const int before = client.messages();
		timer.start();
		client.send(message);
		const bool acknowledged = client.waitForMessages(before + 1);
		const qint64 relayNs = timer.nsecsElapsed();
		if (!acknowledged || !client.waitForMessages(before + 2)) {
			++failures;
			continue;
		}

		timer.start();
		direct.writeDatagram(home, sim.address(), sim.port());
		const bool directAck = receiveDatagrams(direct, 1);
		const qint64 directNs = timer.nsecsElapsed();
		if (!directAck || !receiveDatagrams(direct, 1)) {
			++failures;
			continue;
		}
		if (run >= kWarmUp) {
			relaySamples.push_back(relayNs / 1000.0);
			directSamples.push_back(directNs / 1000.0);
		}
	}
	if (failures >= kMaxFailures) {
		std::fprintf(stderr, "too many lost replies (%d); the run is not meaningful\n", failures);
		return 1;
	}

	// Throughput: one client, inquiries back to back, each waiting for its single answer.
	int pairs = 0;
	QElapsedTimer throughput;
	throughput.start();
	while (throughput.elapsed() < kThroughputMs) {
		const int before = client.messages();
		client.send(relayMessage(camera, sim.port(), datagram("81090400ff", 0x10, pairs & 0xFFFF)));
		if (!client.waitForMessages(before + 1))
			break;
		++pairs;
	}
	const double seconds = throughput.elapsed() / 1000.0;

	const double relayMedian = medianOf(relaySamples);
	const double directMedian = medianOf(directSamples);
	std::printf("runs: %zu (after %d warm-up), lost replies: %d\n", relaySamples.size(), kWarmUp, failures);
	std::printf("relay median: %.1f us\n", relayMedian);
	std::printf("direct median: %.1f us\n", directMedian);
	std::printf("relay added: %.1f us\n", relayMedian - directMedian);
	std::printf("relay/direct ratio: %.2f\n", directMedian > 0 ? relayMedian / directMedian : 0.0);
	std::printf("pairs per second (one client): %.0f\n", seconds > 0 ? pairs / seconds : 0.0);
	return 0;
}
