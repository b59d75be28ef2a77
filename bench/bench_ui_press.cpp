// How long one press of a direction button holds the UI thread, split into the camera exchange and the window's
// fixed pause after every command, beside the bare loopback round trip of the same run.
//
// press:    the up button's pressed() signal, as a click delivers it: the command wrapper runs the drive command
//           (one datagram out, acknowledge and completion back) and then pauses 100 ms by design.
// exchange: the same drive command alone, through the window's hotkey action (no wrapper, no pause).
// raw:      a plain QUdpSocket power inquiry to the same simulated camera, in the same quiet state.
// Each press is followed by a release (the stop command), which is not measured.
//
// Sends only to 127.0.0.x; every loop is bounded.

#include "BenchSupport.h"
#include "CameraSimulator.h"
#include "settings/Utils.h"
#include "ui/MainDialog.h"

#include <QApplication>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kRuns = 40;
constexpr const char *kCameraAddress = "127.0.0.97";

} // namespace

int main(int argc, char **argv)
{
	QTemporaryDir home; // settings of our own, never the user's
	qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
	qputenv("QT_QPA_PLATFORM", "offscreen");
	qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
	QApplication app(argc, argv);
	QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\nkavren.*.info=false"));
	Utils::setModalAnswerer([](QMessageBox &box) { std::fprintf(stderr, "box: %s\n", qPrintable(box.text())); });

	CameraSimulator::Options options;
	options.address = QHostAddress(QString::fromLatin1(kCameraAddress));
	CameraSimulator camera(options);
	QString error;
	QJsonObject settings{{QStringLiteral("Camera1IP"), QString::fromLatin1(kCameraAddress)}};
	if (!camera.start(&error) || !Utils::writeJSONToFile(settings, Utils::getAppDataPath())) {
		std::fprintf(stderr, "could not prepare the simulated camera: %s\n", qPrintable(error));
		return 1;
	}

	ViscaTransfer::Options relay;
	relay.listenAddress = QHostAddress::LocalHost;
	relay.tcpPort = 0;
	relay.udpAddress = QHostAddress::LocalHost;
	relay.udpPort = 0;
	MainDialog::setRelayOptions(relay);
	MainDialog dialog;
	dialog.setWatchdogInterval(3600 * 1000); // no power checks in between
	auto *slot = dialog.findChild<QPushButton *>(QStringLiteral("Camera1Button"));
	auto *up = dialog.findChild<QPushButton *>(QStringLiteral("UpButton"));
	slot->click();
	if (!slot->isChecked() || !up) {
		std::fprintf(stderr, "the window did not connect to the simulated camera\n");
		return 1;
	}

	QUdpSocket raw;
	raw.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
	const auto measureExchange = [&dialog] {
		QElapsedTimer clock;
		clock.start();
		dialog.upCommand(0);
		const double us = clock.nsecsElapsed() / 1000.0;
		dialog.motorStopCommand(0);
		return us;
	};

	// Every press ends in the 100 ms pause, after which the machine has gone quiet; the exchange and the raw
	// round trip are measured in that same state, taking turns at going first.
	std::vector<double> press, exchange, roundTrip;
	for (int i = 0; i < kRuns; ++i) {
		QElapsedTimer clock;
		clock.start();
		emit up->pressed();
		press.push_back(clock.nsecsElapsed() / 1000.0);
		emit up->released();

		if (i % 2)
			exchange.push_back(measureExchange());
		if (const auto us = bench::rawRoundTripUs(raw, camera.address(), camera.port()))
			roundTrip.push_back(*us);
		if (i % 2 == 0)
			exchange.push_back(measureExchange());
	}
	if (roundTrip.empty()) {
		std::fprintf(stderr, "the simulated camera did not answer the raw inquiry\n");
		return 1;
	}

	const double pressMedian = bench::medianOf(press);
	const double exchangeMedian = bench::medianOf(exchange);
	const double rawMedian = bench::medianOf(roundTrip);
	std::printf("press holds the UI thread (median): %.0f us\n", pressMedian);
	std::printf("  camera exchange (median): %.0f us\n", exchangeMedian);
	std::printf("  fixed pause and wrapper: %.0f us\n", pressMedian - exchangeMedian);
	std::printf("raw median: %.0f us\n", rawMedian);
	std::printf("exchange/raw ratio: %.2f\n", exchangeMedian / rawMedian);
	return 0;
}
