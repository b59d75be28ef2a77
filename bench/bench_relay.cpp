// What the WebSocket relay costs the programs that drive cameras through it.
//
// Each client sends the pan-tilt home command and awaits the relay messages carrying the acknowledge and the
// completion before it sends the next, as button panels and show controllers do. Three clients: a WebSocket++ client
// in this process, Debian's python3-websockets and the npm "ws" package (installed into the build by
// scripts/install-relay-clients.sh), the last two as programs of their own. For each: request/reply pairs per second
// and the latency the relay adds to the direct round trip, which a plain UDP socket measures right before and right
// after each client by sending the same command to the same simulated camera and awaiting both replies.
//
// The relay runs as it ships: it forwards only to cameras of the slots in its settings file, which it reads at each
// request. A benchmark reports figures; it fails only when a client cannot complete its commands. --quick runs fewer
// commands (the test suite runs it so, to keep the third-party clients working).
//
// Sends only to 127.0.0.x; every loop is bounded.

#include "BenchSupport.h"
#include "ReceivedCommands.h"
#include "relay/ViscaTransfer.h"
#include "relay/WebSocketAsio.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QUdpSocket>

#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_no_tls_client.hpp>
#include <websocketpp/version.hpp>

#include <asio/post.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kReplyTimeoutMs = 2000;
constexpr int kExternalClientTimeoutMs = 120000;
constexpr double kGoalPairsPerSecond = 1000.0;
constexpr double kGoalAddedUs = 300.0;

struct RunSize {
	int commands = 2000;
	int warmUp = 100;
	int directSamples = 500;
};

struct ClientResult {
	QString client;
	int commands = 0;
	double pairsPerSecond = 0.0;
	double medianUs = 0.0;
	double directMedianUs = 0.0;
};

QByteArray homeCommand(int serial)
{
	QByteArray bytes = QByteArray::fromHex("01000005");
	for (int shift : {12, 8, 4, 0})
		bytes.append(char((serial >> shift) & 0xF));
	return bytes + QByteArray::fromHex("81010604ff");
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
		endpoint.clear_access_channels(websocketpp::log::alevel::all);
		endpoint.clear_error_channels(websocketpp::log::elevel::all);
		websocketpp::lib::error_code error;
		endpoint.init_asio(error);
		endpoint.set_open_handler([this](websocketpp::connection_hdl) { change([this]() { open = true; }); });
		endpoint.set_fail_handler([this](websocketpp::connection_hdl) { change([this]() { ended = true; }); });
		endpoint.set_close_handler([this](websocketpp::connection_hdl) { change([this]() { ended = true; }); });
		endpoint.set_message_handler([this](websocketpp::connection_hdl, Endpoint::message_ptr) {
			change([this]() { ++messages; });
		});
	}
	~BenchClient()
	{
		if (!thread.joinable())
			return;
		asio::post(WebSocketAsio::loopOf(endpoint), [this]() {
			websocketpp::lib::error_code ignored;
			endpoint.close(connectionHandle, websocketpp::close::status::normal, "", ignored);
		});
		std::unique_lock<std::mutex> lock(mutex);
		if (!changed.wait_for(lock, std::chrono::seconds(2), [this]() { return ended; }))
			endpoint.stop();
		lock.unlock();
		thread.join();
	}

	bool connect(quint16 port)
	{
		websocketpp::lib::error_code error;
		const auto connection = endpoint.get_connection("ws://127.0.0.1:" + std::to_string(port), error);
		if (error)
			return false;
		connectionHandle = connection->get_handle();
		endpoint.connect(connection);
		thread = std::thread([this]() { endpoint.run(); });
		std::unique_lock<std::mutex> lock(mutex);
		return changed.wait_for(lock, std::chrono::milliseconds(kReplyTimeoutMs), [this]() {
			return open || ended;
		}) && open;
	}

	// Sends one message and waits for two more messages than had come before it.
	bool exchangePair(const std::string &text)
	{
		int before = 0;
		{
			std::lock_guard<std::mutex> lock(mutex);
			before = messages;
		}
		asio::post(WebSocketAsio::loopOf(endpoint), [this, text]() {
			websocketpp::lib::error_code ignored;
			endpoint.send(connectionHandle, text, websocketpp::frame::opcode::text, ignored);
		});
		std::unique_lock<std::mutex> lock(mutex);
		return changed.wait_for(lock, std::chrono::milliseconds(kReplyTimeoutMs),
					[&]() { return messages >= before + 2; });
	}

private:
	template <typename F>
	void change(F f)
	{
		std::lock_guard<std::mutex> lock(mutex);
		f();
		changed.notify_all();
	}

	Endpoint endpoint;
	websocketpp::connection_hdl connectionHandle;
	std::thread thread;
	std::mutex mutex;
	std::condition_variable changed;
	bool open = false;
	bool ended = false;
	int messages = 0;
};

// The direct round trip: a plain socket sends the home command to the camera and reads its acknowledge and its
// completion. Median in microseconds over the samples after the warm-up; nothing when a reply did not come.
std::optional<double> directRoundTripUs(const CameraSimulator &camera, const RunSize &size)
{
	QUdpSocket socket;
	if (!socket.bind(QHostAddress(QHostAddress::LocalHost), 0))
		return std::nullopt;
	std::vector<double> times;
	QByteArray reply(64, Qt::Uninitialized);
	QElapsedTimer clock;
	for (int serial = 0; serial < size.warmUp + size.directSamples; ++serial) {
		clock.start();
		socket.writeDatagram(homeCommand(serial), camera.address(), camera.port());
		for (int replies = 0; replies < 2; ++replies) {
			if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(kReplyTimeoutMs))
				return std::nullopt;
			socket.readDatagram(reply.data(), reply.size());
		}
		if (serial >= size.warmUp)
			times.push_back(clock.nsecsElapsed() / 1000.0);
	}
	return bench::medianOf(times);
}

std::optional<ClientResult> runWebSocketPP(quint16 relayPort, const CameraSimulator &camera, const RunSize &size)
{
	BenchClient client;
	if (!client.connect(relayPort))
		return std::nullopt;
	const QString ip = camera.address().toString();
	for (int serial = 0; serial < size.warmUp; ++serial) {
		if (!client.exchangePair(relayMessage(ip, camera.port(), homeCommand(serial))))
			return std::nullopt;
	}
	std::vector<double> times;
	QElapsedTimer total, clock;
	total.start();
	for (int serial = size.warmUp; serial < size.warmUp + size.commands; ++serial) {
		clock.start();
		if (!client.exchangePair(relayMessage(ip, camera.port(), homeCommand(serial & 0xFFFF))))
			return std::nullopt;
		times.push_back(clock.nsecsElapsed() / 1000.0);
	}
	ClientResult result;
	result.client = QStringLiteral("WebSocket++ %1.%2.%3")
				.arg(websocketpp::major_version)
				.arg(websocketpp::minor_version)
				.arg(websocketpp::patch_version);
	result.commands = size.commands;
	result.pairsPerSecond = size.commands / (total.nsecsElapsed() / 1e9);
	result.medianUs = bench::medianOf(times);
	return result;
}

enum class ExternalOutcome { Done, NotInstalled, Failed };

// Runs one of the client programs; it prints one JSON line with its figures, or exits 3 without its library.
ExternalOutcome runExternal(const QString &program, const QStringList &arguments, const QProcessEnvironment &env,
			    ClientResult &result)
{
	if (program.isEmpty())
		return ExternalOutcome::NotInstalled;
	QProcess process;
	process.setProcessEnvironment(env);
	process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
	process.start(program, arguments);
	if (!process.waitForFinished(kExternalClientTimeoutMs)) {
		process.kill();
		process.waitForFinished();
		return ExternalOutcome::Failed;
	}
	if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 3)
		return ExternalOutcome::NotInstalled;
	if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
		return ExternalOutcome::Failed;
	const QJsonObject figures = QJsonDocument::fromJson(process.readAllStandardOutput().trimmed()).object();
	const double seconds = figures.value(QStringLiteral("seconds")).toDouble();
	result.client = figures.value(QStringLiteral("client")).toString();
	result.commands = figures.value(QStringLiteral("commands")).toInt();
	result.medianUs = figures.value(QStringLiteral("medianUs")).toDouble();
	result.pairsPerSecond = seconds > 0 ? result.commands / seconds : 0.0;
	return result.commands > 0 ? ExternalOutcome::Done : ExternalOutcome::Failed;
}

QString debianPython()
{
	// Debian's interpreter has the websockets module; another python3 earlier on PATH may not.
	const QString debian = QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
	return debian.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("python3")) : debian;
}

QStringList clientArguments(const QString &script, quint16 relayPort, const CameraSimulator &camera,
			    const RunSize &size)
{
	return {QStringLiteral(KAVREN_SOURCE_DIR "/bench/") + script,
		QStringLiteral("ws://127.0.0.1:%1").arg(relayPort),
		camera.address().toString(),
		QString::number(camera.port()),
		QString::number(size.commands),
		QString::number(size.warmUp)};
}

void printResult(const ClientResult &result)
{
	std::printf("%-26s %8d %9.0f %10.1f %9.1f %10.1f\n", qPrintable(result.client), result.commands,
		    result.pairsPerSecond, result.medianUs, result.directMedianUs,
		    result.medianUs - result.directMedianUs);
}

} // namespace

int main(int argc, char **argv)
{
	QCoreApplication app(argc, argv);
	// Log lines would measure the terminal, not the relay.
	QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\nkavren.relay*.info=false"));
	RunSize size;
	if (app.arguments().contains(QStringLiteral("--quick")))
		size = RunSize{300, 30, 100};

	const auto simulated = startSimulatedCamera(QStringLiteral("127.0.0.41"), QStringLiteral("NX-B93K"));
	if (!simulated)
		return 1;
	CameraSimulator &camera = *simulated;
	ViscaTransfer::Options relayOptions;
	relayOptions.listenAddress = QHostAddress(QHostAddress::LocalHost);
	relayOptions.tcpPort = 0;
	relayOptions.udpPort = 0;
	ViscaTransfer relay(relayOptions);
	relay.setSlotAddresses(
		SlotAddressBook::fromSettings({{QStringLiteral("Camera1IP"), camera.address().toString()}}));
	relay.start();
	if (!relay.isServing()) {
		std::fprintf(stderr, "the relay did not start\n");
		return 1;
	}

	QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
	env.insert(QStringLiteral("NODE_PATH"), QStringLiteral(KAVREN_BINARY_DIR "/relay-clients/node_modules"));
	const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));

	std::printf("Each command awaits its acknowledge and its completion; goal per client: >= %.0f pairs/s and "
		    "< %.0f us added to the direct UDP round trip.\n",
		    kGoalPairsPerSecond, kGoalAddedUs);
	std::printf("%-26s %8s %9s %10s %9s %10s\n", "client", "commands", "pairs/s", "median us", "direct us",
		    "added us");
	bool failed = false;
	const auto measure = [&](const char *name, auto run) {
		ClientResult result;
		const std::optional<double> directBefore = directRoundTripUs(camera, size);
		const ExternalOutcome outcome = run(result);
		const std::optional<double> directAfter = directRoundTripUs(camera, size);
		if (!directBefore || !directAfter) {
			std::printf("%-26s the camera did not answer the direct round trip\n", name);
			failed = true;
			return;
		}
		switch (outcome) {
		case ExternalOutcome::Done:
			// The faster of the two direct runs, so that a busy moment of the machine is not taken for
			// time the relay saves.
			result.directMedianUs = std::min(*directBefore, *directAfter);
			printResult(result);
			break;
		case ExternalOutcome::NotInstalled:
			std::printf(
				"%-26s not installed (see scripts/install-deps.sh, scripts/install-relay-clients.sh)\n",
				name);
			break;
		case ExternalOutcome::Failed:
			std::printf("%-26s did not complete its commands\n", name);
			failed = true;
			break;
		}
	};
	measure("WebSocket++", [&](ClientResult &result) {
		const std::optional<ClientResult> measured = runWebSocketPP(relay.tcpPort(), camera, size);
		if (measured)
			result = *measured;
		return measured ? ExternalOutcome::Done : ExternalOutcome::Failed;
	});
	measure("python3-websockets", [&](ClientResult &result) {
		return runExternal(
			debianPython(),
			clientArguments(QStringLiteral("relay_bench_client.py"), relay.tcpPort(), camera, size), env,
			result);
	});
	measure("node ws", [&](ClientResult &result) {
		return runExternal(
			node, clientArguments(QStringLiteral("relay_bench_client.js"), relay.tcpPort(), camera, size),
			env, result);
	});
	return failed ? 1 : 0;
}
