// Renders the real controller window, connected to a simulated camera, in its simple and advanced views to PNG
// files (for the README). Runs on Qt's offscreen platform in a settings folder of its own.
#include "CameraSimulator.h"
#include "settings/Utils.h"
#include "ui/LocaleTable.h"
#include "ui/MainDialog.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QJsonObject>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

constexpr const char *kCameraAddress = "127.0.0.95";

bool writeDemoSettings()
{
	QJsonObject settings;
	settings[QStringLiteral("Camera1IP")] = QString::fromLatin1(kCameraAddress);
	settings[QStringLiteral("Camera1NickName")] = QStringLiteral("Stage");
	settings[QStringLiteral("Camera2NickName")] = QStringLiteral("Wide");
	settings[QStringLiteral("Camera3NickName")] = QStringLiteral("Pulpit");
	settings[QStringLiteral("1")] = QStringLiteral("Opening");
	settings[QStringLiteral("2")] = QStringLiteral("Speaker");
	settings[QStringLiteral("3")] = QStringLiteral("Choir");
	return Utils::writeJSONToFile(settings, Utils::getAppDataPath());
}

// Lets queued painting and layout settle before a grab.
void settle()
{
	for (int i = 0; i < 20; ++i) {
		QCoreApplication::processEvents();
		QThread::msleep(10);
	}
}

bool save(QWidget &window, const QString &path)
{
	settle();
	if (window.grab().save(path))
		return true;
	std::fprintf(stderr, "could not write %s\n", qPrintable(path));
	return false;
}

} // namespace

int main(int argc, char **argv)
{
	if (argc != 3) {
		std::fprintf(stderr, "usage: kavren-screenshots SOURCE_DIR OUTPUT_DIR\n");
		return 2;
	}
	const QString sourceDir = QString::fromLocal8Bit(argv[1]);
	const QString outputDir = QString::fromLocal8Bit(argv[2]);

	// Settings and profiles of our own: the user's files are never read or written.
	QTemporaryDir home;
	qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
	qputenv("KAVREN_PROFILE_DIR", (sourceDir + QStringLiteral("/data/ini/")).toLocal8Bit());
	QApplication app(argc, argv);

	LocaleTable locale;
	if (!locale.load(sourceDir + QStringLiteral("/data/locale/en-US.ini"))) {
		std::fprintf(stderr, "no locale file under %s\n", qPrintable(sourceDir));
		return 1;
	}
	locale.install();
	Utils::setModalAnswerer([](QMessageBox &box) { qWarning().noquote() << "message box:" << box.text(); });

	CameraSimulator::Options options;
	options.address = QHostAddress(QString::fromLatin1(kCameraAddress));
	options.model = QStringLiteral("NX-F64");
	CameraSimulator camera(options);
	QString error;
	if (!camera.start(&error) || !writeDemoSettings()) {
		std::fprintf(stderr, "could not prepare the simulated camera: %s\n", qPrintable(error));
		return 1;
	}

	MainDialog dialog;
	dialog.show();
	auto *slot = dialog.findChild<QPushButton *>(QStringLiteral("Camera1Button"));
	slot->click();
	// The camera is identified off the UI thread; its panel reading arrives with the connect.
	for (int wait = 0; wait < 50 && !slot->isChecked(); ++wait)
		settle();
	if (!slot->isChecked()) {
		std::fprintf(stderr, "the window did not connect to the simulated camera\n");
		return 1;
	}

	QDir().mkpath(outputDir);
	bool saved = save(dialog, outputDir + QStringLiteral("/controller-simple.png"));
	dialog.showAdvanceView();
	saved = save(dialog, outputDir + QStringLiteral("/controller-advanced.png")) && saved;
	return saved ? 0 : 1;
}
