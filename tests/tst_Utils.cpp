// The settings store: read-modify-write of the one settings file, and what happens to bad or failing files.
#include "settings/Utils.h"

#include <QJsonDocument>
#include <QMessageBox>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray fileContent(const QString &path)
{
	QFile file(path);
	return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeContent(const QString &path, const QByteArray &content)
{
	QFile file(path);
	QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
	file.write(content);
}

QStringList brokenCopies(const QString &directory)
{
	return QDir(directory).entryList({QStringLiteral("KavrenOBSPlugin.json.broken-*")}, QDir::Files);
}

} // namespace

class tst_Utils : public QObject {
	Q_OBJECT

private slots:
	void initTestCase();
	void init();
	void firstReadCreatesAnEmptyFile();
	void writtenSettingsReadBack();
	void brokenContentIsKeptAside_data();
	void brokenContentIsKeptAside();
	void unusablePlacesReportFailure_data();
	void unusablePlacesReportFailure();
	void failedWriteKeepsThePreviousFile();
	void sortsKeysByValue_data();
	void sortsKeysByValue();
	void warningBoxIsModalOnTopWithoutParent();

private:
	QScopedPointer<QTemporaryDir> temp;
	QString dir;
};

void tst_Utils::initTestCase()
{
	QStandardPaths::setTestModeEnabled(true);
	QVERIFY(!Utils::getAppDataPath().isEmpty());
}

void tst_Utils::init()
{
	temp.reset(new QTemporaryDir);
	QVERIFY(temp->isValid());
	dir = temp->path() + QStringLiteral("/nested/settings");
}

void tst_Utils::firstReadCreatesAnEmptyFile()
{
	QJsonObject object{{QStringLiteral("stale"), 1}};
	QVERIFY(Utils::readJSONFromFile(object, dir));
	QVERIFY(object.isEmpty());
	QVERIFY(QFileInfo::exists(dir + QStringLiteral("/KavrenOBSPlugin.json")));
	QCOMPARE(fileContent(Utils::settingsFilePath(dir)), QByteArray());

	// Reading an empty file is not a broken file: nothing is kept aside on the next write.
	QVERIFY(Utils::writeJSONToFile(object, dir));
	QVERIFY(brokenCopies(dir).isEmpty());
}

void tst_Utils::writtenSettingsReadBack()
{
	QJsonObject object;
	QVERIFY(Utils::readJSONFromFile(object, dir));
	object[QStringLiteral("Camera3NickName")] = QStringLiteral("Stage left");
	object[QStringLiteral("127.0.0.2NX-B93KPanSpeed")] = QStringLiteral("9");
	object[QStringLiteral("hotKey")] = false;
	QVERIFY(Utils::writeJSONToFile(object, dir));

	const QByteArray content = fileContent(Utils::settingsFilePath(dir));
	QVERIFY2(content.contains("\n    \""), "settings are written as indented JSON");

	QJsonObject readBack;
	QVERIFY(Utils::readJSONFromFile(readBack, dir));
	QCOMPARE(readBack, object);
	QVERIFY(readBack.value(QStringLiteral("hotKey")).isBool());
	QCOMPARE(readBack.value(QStringLiteral("hotKey")).toBool(true), false);

	// The update pattern: one key changes, every other key survives.
	readBack[QStringLiteral("Camera3NickName")] = QStringLiteral("Wide");
	QVERIFY(Utils::writeJSONToFile(readBack, dir));
	QJsonObject updated;
	QVERIFY(Utils::readJSONFromFile(updated, dir));
	QCOMPARE(updated.value(QStringLiteral("Camera3NickName")).toString(), QStringLiteral("Wide"));
	QCOMPARE(updated.value(QStringLiteral("127.0.0.2NX-B93KPanSpeed")).toString(), QStringLiteral("9"));
	QVERIFY(QDir(dir).entryList({QStringLiteral("*.json.*")}, QDir::Files).isEmpty());
}

void tst_Utils::brokenContentIsKeptAside_data()
{
	QTest::addColumn<QByteArray>("content");
	QTest::newRow("not JSON") << QByteArray("{\"Camera1IP\": \"127.0.0.2\",");
	QTest::newRow("JSON array") << QByteArray("[1, 2, 3]");
	QTest::newRow("JSON string") << QByteArray("\"Camera1IP\"");
	QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe{", 4);
}

void tst_Utils::brokenContentIsKeptAside()
{
	QFETCH(QByteArray, content);
	QVERIFY(QDir().mkpath(dir));
	const QString path = Utils::settingsFilePath(dir);
	writeContent(path, content);

	QJsonObject object{{QStringLiteral("stale"), 1}};
	QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("holds no JSON object")));
	QVERIFY(Utils::readJSONFromFile(object, dir));
	QVERIFY(object.isEmpty());
	QCOMPARE(fileContent(path), content); // reading never touches the broken file

	object[QStringLiteral("Camera1IP")] = QStringLiteral("127.0.0.2");
	QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("held no JSON object; kept it as")));
	QVERIFY(Utils::writeJSONToFile(object, dir));

	const QStringList copies = brokenCopies(dir);
	QCOMPARE(copies.size(), 1);
	QCOMPARE(fileContent(dir + QLatin1Char('/') + copies.first()), content);
	QJsonObject readBack;
	QVERIFY(Utils::readJSONFromFile(readBack, dir));
	QCOMPARE(readBack, object);

	// Once the file is sound again, later writes keep no further copies.
	QVERIFY(Utils::writeJSONToFile(readBack, dir));
	QCOMPARE(brokenCopies(dir).size(), 1);
}

void tst_Utils::unusablePlacesReportFailure_data()
{
	QTest::addColumn<QString>("obstacle"); // what is created in the way, relative to the temporary folder
	QTest::addColumn<bool>("obstacleIsFile");
	QTest::addColumn<QString>("directory"); // the settings directory handed to the store
	QTest::addColumn<QString>("expectedLog");

	QTest::newRow("directory path runs through a file")
		<< QStringLiteral("blocker") << true << QStringLiteral("blocker/settings")
		<< QStringLiteral("It's failed to make a directory.");
	QTest::newRow("settings file is a directory")
		<< QStringLiteral("settings/KavrenOBSPlugin.json") << false << QStringLiteral("settings")
		<< QStringLiteral("It's failed to open the file.");
}

void tst_Utils::unusablePlacesReportFailure()
{
	QFETCH(QString, obstacle);
	QFETCH(bool, obstacleIsFile);
	QFETCH(QString, directory);
	QFETCH(QString, expectedLog);

	const QString base = temp->path() + QLatin1Char('/');
	if (obstacleIsFile)
		writeContent(base + obstacle, "x");
	else
		QVERIFY(QDir().mkpath(base + obstacle));

	QJsonObject object{{QStringLiteral("kept"), 7}};
	QTest::ignoreMessage(QtDebugMsg, qPrintable(expectedLog));
	QVERIFY(!Utils::readJSONFromFile(object, base + directory));
	QCOMPARE(object.value(QStringLiteral("kept")).toInt(), 7); // left as it was

	QVERIFY(!Utils::writeJSONToFile(object, base + directory));
}

void tst_Utils::failedWriteKeepsThePreviousFile()
{
	QJsonObject object{{QStringLiteral("Camera1IP"), QStringLiteral("127.0.0.2")}};
	QVERIFY(Utils::writeJSONToFile(object, dir));
	const QByteArray before = fileContent(Utils::settingsFilePath(dir));

	// A file-size limit makes the next write run out of room, as a full disk would.
	struct rlimit saved;
	QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
	const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
	struct rlimit tight = saved;
	tight.rlim_cur = 256;
	QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);

	QJsonObject big = object;
	big[QStringLiteral("Camera2NickName")] = QString(4096, QLatin1Char('x'));
	QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("could not be written")));
	const bool written = Utils::writeJSONToFile(big, dir);

	setrlimit(RLIMIT_FSIZE, &saved);
	std::signal(SIGXFSZ, previousHandler);

	QVERIFY(!written);
	QCOMPARE(fileContent(Utils::settingsFilePath(dir)), before);
	QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList{QStringLiteral("KavrenOBSPlugin.json")});
}

void tst_Utils::sortsKeysByValue_data()
{
	QTest::addColumn<QVariantMap>("values");
	QTest::addColumn<QStringList>("expected");
	QTest::newRow("three") << QVariantMap{{"b", 2}, {"a", 3}, {"c", 1}} << QStringList{"c", "b", "a"};
	QTest::newRow("empty") << QVariantMap{} << QStringList{};
	QTest::newRow("hex-like labels") << QVariantMap{{"F1_8", 0x0C}, {"F2_0", 0x0B}, {"CLOSE", 0x00}}
					 << QStringList{"CLOSE", "F2_0", "F1_8"};
}

void tst_Utils::sortsKeysByValue()
{
	QFETCH(QVariantMap, values);
	QFETCH(QStringList, expected);
	QMap<std::string, int> map;
	for (auto it = values.cbegin(); it != values.cend(); ++it)
		map.insert(it.key().toStdString(), it.value().toInt());

	QStringList sorted;
	for (const std::string &key : Utils::sortMapByValue(map))
		sorted << QString::fromStdString(key);
	QCOMPARE(sorted, expected);
}

void tst_Utils::warningBoxIsModalOnTopWithoutParent()
{
	int shown = 0;
	Utils::setModalAnswerer([&](QMessageBox &box) {
		++shown;
		QCOMPARE(box.text(), QStringLiteral("Camera unreachable"));
		QCOMPARE(box.icon(), QMessageBox::Warning);
		QVERIFY(box.windowFlags() & Qt::WindowStaysOnTopHint);
		QVERIFY(!box.parentWidget());
		QVERIFY(box.windowTitle().isEmpty());
		QCOMPARE(box.standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
	});
	Utils::showErrorMessage(QStringLiteral("Camera unreachable"));
	Utils::setModalAnswerer(nullptr);
	QCOMPARE(shown, 1);
}

QTEST_MAIN(tst_Utils)
#include "tst_Utils.moc"
