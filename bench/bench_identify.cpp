// Identification time per camera family beside the raw request/reply time of the same simulated camera.
// A camera that answers should be identified in a few exchanges; only an address where nothing answers pays the
// receive bound (about 350 ms) for each inquiry it tries.

#include "camera/CameraParse.h"
#include "camera/CameraSelect.h"
#include "camera/viscaGeneralOps.h"

#include "ReceivedCommands.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kRawSamples = 101;
constexpr int kIdentifySamples = 5;
constexpr int kReceiveBoundMs = 350;

void discardMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
	if (type >= QtWarningMsg)
		std::fprintf(stderr, "%s\n", qPrintable(message));
}

double median(std::vector<double> samples)
{
	if (samples.empty())
		return 0.0;
	std::sort(samples.begin(), samples.end());
	return samples[samples.size() / 2];
}

// Median time of one power inquiry and its answer over a plain socket; -1 when the camera did not answer.
double rawExchangeMs(const QHostAddress &address, quint16 port)
{
	QUdpSocket socket;
	std::vector<double> samples;
	for (int i = 0; i < kRawSamples; ++i) {
		const uint8_t serial = static_cast<uint8_t>(i + 1);
		const char datagram[] = {0x01,
					 0x10,
					 0x00,
					 0x05,
					 0x00,
					 0x00,
					 static_cast<char>(serial >> 4),
					 static_cast<char>(serial & 0x0F),
					 char(0x81),
					 0x09,
					 0x04,
					 0x00,
					 char(0xFF)};
		QElapsedTimer timer;
		timer.start();
		socket.writeDatagram(datagram, sizeof datagram, address, port);
		if (!socket.waitForReadyRead(kReceiveBoundMs))
			return -1.0;
		while (socket.hasPendingDatagrams())
			socket.receiveDatagram();
		samples.push_back(timer.nsecsElapsed() / 1e6);
	}
	return median(samples);
}

// Median time of model selection alone (reading and converting the profile), part of every identification.
double profileMs(const std::string &model)
{
	CameraSelect select;
	std::vector<double> samples;
	for (int i = 0; i < kIdentifySamples; ++i) {
		QElapsedTimer timer;
		timer.start();
		delete select.getCamParam(model);
		samples.push_back(timer.nsecsElapsed() / 1e6);
	}
	return median(samples);
}

double identifyMs(CameraParse &parse, const QString &ip, QString *model)
{
	std::vector<double> samples;
	for (int i = 0; i < kIdentifySamples; ++i) {
		QElapsedTimer timer;
		timer.start();
		CamParamMap result = parse.parseCamera(ip);
		samples.push_back(timer.nsecsElapsed() / 1e6);
		*model = result.empty() ? QStringLiteral("(none)")
					: QString::fromStdString(result.begin()->second.first);
		for (auto &entry : result)
			delete entry.second.second;
	}
	return median(samples);
}

} // namespace

int main(int argc, char *argv[])
{
	qInstallMessageHandler(discardMessages);
	QCoreApplication app(argc, argv);
	// Identification includes loading the profile; take the source tree's profiles unless told otherwise.
	if (qEnvironmentVariableIsEmpty("KAVREN_PROFILE_DIR"))
		qputenv("KAVREN_PROFILE_DIR", QFile::encodeName(QFileInfo(QStringLiteral(__FILE__)).absolutePath() +
								QStringLiteral("/../data/ini/")));

	struct Case {
		const char *family;
		const char *model; // empty: a bound address that never answers
	};
	const Case cases[] = {{"HX7", "NX-HX7"},   {"J57", "NX-J57"},     {"D26G", "NX-D26G"},
			      {"W38B", "NX-W38B"}, {"ZQ418", "NX-ZQ418"}, {"none", ""}};

	std::printf("%-6s %-10s %-10s %12s %11s %10s %10s %14s\n", "family", "model", "identified", "identify_ms",
		    "profile_ms", "raw_ms", "exchanges", "receive_bounds");
	const QHostAddress address(QStringLiteral("127.0.0.48"));
	for (const Case &c : cases) {
		const auto camera =
			startSimulatedCamera(address.toString(), QString::fromLatin1(*c.model ? c.model : "NX-J57"));
		if (!camera)
			return 1;
		CameraSimulator &sim = *camera;
		const double raw = rawExchangeMs(address, sim.port());
		if (!*c.model)
			sim.setSilent(true);

		CameraParse parse(sim.port());
		QString model;
		const double identify = identifyMs(parse, address.toString(), &model);
		const double profile = *c.model ? profileMs(c.model) : 0.0;
		// Ratios tell how many raw exchanges the network part of one identification costs (profile loading
		// excluded), and how many receive bounds the whole identification took.
		const double network = identify - profile;
		std::printf("%-6s %-10s %-10s %12.2f %11.2f %10.3f %10.1f %14.2f\n", c.family, *c.model ? c.model : "-",
			    qPrintable(model), identify, profile, raw, raw > 0 ? network / raw : 0.0,
			    identify / kReceiveBoundMs);
		std::fflush(stdout);
	}
	return 0;
}
