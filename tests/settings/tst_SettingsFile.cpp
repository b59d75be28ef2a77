// The settings file: the one read every reader goes through, its atomic writes and read-modify-write, and what
// happens to bad or failing files; the operator's boxes; and the one rule for what is a camera's address.
#include "OrdinaryUser.h"
#include "SettingsHome.h"
#include "TableRows.h"
#include "settings/CameraAddress.h"
#include "settings/OperatorBox.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStorage.h"
#include "settings/Utils.h"
#include "ui/ModalBox.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QAbstractButton>
#include <QDialog>
#include <QLockFile>
#include <QMessageBox>
#include <QPointer>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList brokenCopies(const QString &directory)
{
	return QDir(directory).entryList({QStringLiteral("KavrenOBSPlugin.json.broken-*")}, QDir::Files);
}

// A settings folder or file the store cannot write, put in place and taken away again.
enum class Obstacle { ReadOnlyFile, ReadOnlyFolder, FolderIsAFile };

void setObstacle(Obstacle obstacle, const QString &directory, bool present)
{
	const QString file = SettingsStorage::filePath(directory);
	switch (obstacle) {
	case Obstacle::ReadOnlyFile:
		QVERIFY(chmod(QFile::encodeName(file).constData(), present ? 0444 : 0644) == 0);
		break;
	case Obstacle::ReadOnlyFolder:
		QVERIFY(chmod(QFile::encodeName(directory).constData(), present ? 0555 : 0755) == 0);
		break;
	case Obstacle::FolderIsAFile:
		QVERIFY(QDir(directory).removeRecursively());
		if (present)
			writeContent(directory, "in the way");
		else
			QVERIFY(QFile::remove(directory));
		break;
	}
}

// The settings as every reader has them; a marker object when they cannot be read.
QJsonObject readBack(const QString &directory)
{
	return SettingsFile::tryRead(directory).value_or(QJsonObject{{QStringLiteral("unreadable"), 1}});
}

const char *const kWriterArgument = "--write-settings-as-another-program";

bool setNumber(const QString &key, int value, const QString &directory)
{
	return SettingsFile::update(
		       [&](QJsonObject &settings) {
			       settings.insert(key, value);
			       return true;
		       },
		       directory) == SettingsFile::Outcome::Written;
}

// Sets the keys PREFIX0 to PREFIX<COUNT-1>, one change each; how many were not written.
int setKeys(const QString &prefix, int count, const QString &directory)
{
	int notWritten = 0;
	for (int n = 0; n < count; ++n)
		notWritten += !setNumber(prefix + QString::number(n), n, directory);
	return notWritten;
}

// Something in the store's way (a file, or else a folder; relative to the temporary folder), the settings folder
// handed to the store, and the line it logs.
struct UnusablePlace {
	const char *name;
	const char *obstacle;
	bool obstacleIsFile;
	const char *directory;
	const char *log;
};
const UnusablePlace kUnusablePlaces[] = {
	{"directory path runs through a file", "blocker", true, "blocker/settings", "It's failed to make a directory."},
	{"settings file is a directory", "settings/KavrenOBSPlugin.json", false, "settings",
	 "It's failed to open the file."},
};

// A file next to the settings file before the first access, and whether that access removes it.
struct Leftover {
	const char *name;
	const char *file;
	bool removed;
};
const Leftover kLeftovers[] = {
	{"interrupted write", "KavrenOBSPlugin.json.aBcDeF", true},
	{"broken file kept aside", "KavrenOBSPlugin.json.broken-20260101-101010", false},
	{"five letters", "KavrenOBSPlugin.json.aBcDe", false},
	{"not a letter", "KavrenOBSPlugin.json.aB-DeF", false},
	{"another file's", "OtherPlugin.json.aBcDeF", false},
};

} // namespace

Q_DECLARE_METATYPE(Obstacle)

class tst_SettingsFile : public QObject {
	Q_OBJECT

	QScopedPointer<QTemporaryDir> temp;
	QString dir;

private slots:
	void initTestCase()
	{
		QStandardPaths::setTestModeEnabled(true);
		QVERIFY(!Utils::getAppDataPath().isEmpty());
	}

	void init()
	{
		temp.reset(new QTemporaryDir);
		QVERIFY(temp->isValid());
		dir = temp->path() + QStringLiteral("/nested/settings");
	}

	void writtenSettingsReadBack()
	{
		// The first read makes an empty file; an empty file is not a broken one, so nothing is kept aside
		// below.
		QJsonObject object{{QStringLiteral("stale"), 1}};
		QVERIFY(Utils::readJSONFromFile(object, dir));
		QVERIFY(object.isEmpty());
		QVERIFY(QFileInfo::exists(dir + QStringLiteral("/KavrenOBSPlugin.json")));
		QCOMPARE(fileContent(SettingsStorage::filePath(dir)), QByteArray());
		object[QStringLiteral("Camera3NickName")] = QStringLiteral("Stage left");
		object[QStringLiteral("127.0.0.2NX-B93KPanSpeed")] = QStringLiteral("9");
		object[QStringLiteral("hotKey")] = false;
		QVERIFY(SettingsStorage::write(object, dir));

		QCOMPARE(readBack(dir), object);
		QVERIFY(QDir(dir).entryList({QStringLiteral("*.json.*")}, QDir::Files).isEmpty());
	}

	void brokenContentIsKeptAside_data()
	{
		QTest::addColumn<QByteArray>("content");
		QTest::newRow("not JSON") << QByteArray("{\"Camera1IP\": \"127.0.0.2\",");
		QTest::newRow("JSON array") << QByteArray("[1, 2, 3]");
	}

	void brokenContentIsKeptAside()
	{
		QFETCH(QByteArray, content);
		QVERIFY(QDir().mkpath(dir));
		const QString path = SettingsStorage::filePath(dir);
		writeContent(path, content);

		QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("holds no JSON object")));
		QCOMPARE(readBack(dir), QJsonObject());
		QCOMPARE(fileContent(path), content); // reading never touches the broken file

		const QJsonObject object{{QStringLiteral("Camera1IP"), QStringLiteral("127.0.0.2")}};
		QTest::ignoreMessage(QtWarningMsg,
				     QRegularExpression(QStringLiteral("held no JSON object; kept it as")));
		QVERIFY(SettingsStorage::write(object, dir));

		const QStringList copies = brokenCopies(dir);
		QCOMPARE(copies.size(), 1);
		QCOMPARE(fileContent(dir + QLatin1Char('/') + copies.first()), content);
		QCOMPARE(readBack(dir), object);

		// Once the file is sound again, later writes keep no further copies.
		QVERIFY(SettingsStorage::write(object, dir));
		QCOMPARE(brokenCopies(dir).size(), 1);
	}

	void unusablePlacesReportFailure_data() { addTableRows(kUnusablePlaces); }

	void unusablePlacesReportFailure()
	{
		const auto &[name, obstacle, obstacleIsFile, directory, expectedLog] = currentTableRow(kUnusablePlaces);
		const QString base = temp->path() + QLatin1Char('/');
		if (obstacleIsFile)
			writeContent(base + obstacle, "x");
		else
			QVERIFY(QDir().mkpath(base + obstacle));

		QJsonObject object{{QStringLiteral("kept"), 7}};
		QTest::ignoreMessage(QtDebugMsg, expectedLog);
		QVERIFY(!Utils::readJSONFromFile(object, base + directory));
		QCOMPARE(object.value(QStringLiteral("kept")).toInt(), 7); // left as it was

		QVERIFY(!SettingsStorage::write(object, base + directory));
	}

	void failedWriteKeepsThePreviousFile()
	{
		const QJsonObject object{{QStringLiteral("Camera1IP"), QStringLiteral("127.0.0.2")}};
		QVERIFY(SettingsStorage::write(object, dir));
		const QByteArray before = fileContent(SettingsStorage::filePath(dir));

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
		const bool written = SettingsStorage::write(big, dir);

		setrlimit(RLIMIT_FSIZE, &saved);
		std::signal(SIGXFSZ, previousHandler);

		QVERIFY(!written);
		QCOMPARE(fileContent(SettingsStorage::filePath(dir)), before);
		QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList{QStringLiteral("KavrenOBSPlugin.json")});
	}

	void readOnlyPlacesAreRead_data()
	{
		QTest::addColumn<QByteArray>("content"); // empty: no settings file
		QTest::addColumn<bool>("fileReadOnly");
		QTest::addColumn<bool>("folderReadOnly");
		const QByteArray settings("{\"Camera1IP\": \"127.0.0.2\", \"hotKey\": true}");
		QTest::newRow("read-only file") << settings << true << false;
		QTest::newRow("read-only folder") << settings << false << true;
		QTest::newRow("read-only folder without a file") << QByteArray() << false << true;
	}

	void readOnlyPlacesAreRead()
	{
		QFETCH(QByteArray, content);
		QFETCH(bool, fileReadOnly);
		QFETCH(bool, folderReadOnly);
		OrdinaryUser user(temp->path());
		QVERIFY(user.isOrdinary());
		QVERIFY(QDir().mkpath(dir));
		const QString path = SettingsStorage::filePath(dir);
		if (!content.isEmpty())
			writeContent(path, content);
		if (fileReadOnly)
			setObstacle(Obstacle::ReadOnlyFile, dir, true);
		if (folderReadOnly)
			setObstacle(Obstacle::ReadOnlyFolder, dir, true);

		QCOMPARE(readBack(dir), QJsonDocument::fromJson(content).object());
		QCOMPARE(QFileInfo::exists(path), !content.isEmpty());
		QCOMPARE(fileContent(path), content);
		setObstacle(Obstacle::ReadOnlyFolder, dir, false);
	}

	void failedWritesAreToldOnceAndKeptInMemory_data()
	{
		QTest::addColumn<Obstacle>("obstacle");
		QTest::newRow("read-only file") << Obstacle::ReadOnlyFile;
		QTest::newRow("read-only folder") << Obstacle::ReadOnlyFolder;
		QTest::newRow("folder cannot be made") << Obstacle::FolderIsAFile;
	}

	void failedWritesAreToldOnceAndKeptInMemory()
	{
		QFETCH(Obstacle, obstacle);
		OrdinaryUser user(temp->path());
		QVERIFY(user.isOrdinary());
		QStringList told;
		SettingsStorage::setWriteFailureReporter([&told](const QString &path, const QString &reason) {
			told << path + QStringLiteral(": ") + reason;
		});
		QStringList recovered;
		SettingsStorage::setWriteRecoveryReporter([&recovered](const QString &path) { recovered << path; });
		const QString path = SettingsStorage::filePath(dir);
		const auto settingsWith = [](const QString &nickName) {
			return QJsonObject{{QStringLiteral("Camera1IP"), QStringLiteral("127.0.0.2")},
					   {QStringLiteral("Camera1NickName"), nickName}};
		};

		const QJsonObject stored = settingsWith(QStringLiteral("Stage"));
		QVERIFY(SettingsStorage::write(stored, dir));
		const QByteArray onDisk = fileContent(path);
		setObstacle(obstacle, dir, true);

		// Every change while the file cannot be written is told once and read back as if it had been stored.
		for (const QString &nickName : {QStringLiteral("Wide"), QStringLiteral("Close")}) {
			const QJsonObject changed = settingsWith(nickName);
			if (told.isEmpty())
				QTest::ignoreMessage(QtWarningMsg,
						     QRegularExpression(QStringLiteral("could not be written")));
			QVERIFY(!SettingsStorage::write(changed, dir));
			QCOMPARE(readBack(dir), changed);
		}
		QCOMPARE(told.size(), 1);
		QVERIFY2(told.first().startsWith(path + QStringLiteral(": ")) && told.first().size() > path.size() + 2,
			 qPrintable(told.first()));
		QVERIFY(recovered.isEmpty());

		// Once a write succeeds, the file holds the settings and a later failure is told again.
		setObstacle(obstacle, dir, false);
		if (obstacle != Obstacle::FolderIsAFile)
			QCOMPARE(fileContent(path), onDisk);
		const QJsonObject saved = settingsWith(QStringLiteral("Saved"));
		QVERIFY(SettingsStorage::write(saved, dir));
		QCOMPARE(recovered, QStringList{path});
		QCOMPARE(QJsonDocument::fromJson(fileContent(path)).object(), saved);
		setObstacle(obstacle, dir, true);
		QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("could not be written")));
		QVERIFY(!SettingsStorage::write(stored, dir));
		QCOMPARE(told.size(), 2);
		setObstacle(obstacle, dir, false);

		SettingsStorage::setWriteFailureReporter(nullptr);
		SettingsStorage::setWriteRecoveryReporter(nullptr);
	}

	void staleTemporaryFilesAreRemoved_data() { addTableRows(kLeftovers); }

	void staleTemporaryFilesAreRemoved()
	{
		const auto &[rowName, file, removed] = currentTableRow(kLeftovers);
		QVERIFY(QDir().mkpath(dir));
		writeContent(dir + QStringLiteral("/KavrenOBSPlugin.json"), "{\"hotKey\": true}");
		writeContent(dir + QLatin1Char('/') + file, "{\"hotKey\": fal");

		QCOMPARE(readBack(dir).value(QStringLiteral("hotKey")).toBool(false), true);
		QCOMPARE(!QFileInfo::exists(dir + QLatin1Char('/') + file), removed);
	}

	void writersInTwoProgramsLoseNothing()
	{
		constexpr int kEach = 60;
		QProcess anotherProgram;
		anotherProgram.setProcessChannelMode(QProcess::ForwardedErrorChannel);
		anotherProgram.start(QCoreApplication::applicationFilePath(),
				     {QLatin1String(kWriterArgument), dir, QString::number(kEach)});
		// It says when it starts writing.
		QVERIFY(anotherProgram.waitForReadyRead());
		QCOMPARE(setKeys(QStringLiteral("Mine"), kEach, dir), 0);
		QVERIFY(anotherProgram.waitForFinished());
		QCOMPARE(anotherProgram.exitCode(), 0);
		QCOMPARE(QJsonDocument::fromJson(fileContent(SettingsStorage::filePath(dir))).object().size(),
			 2 * kEach);
	}

	void aChangeWhileAnotherHoldsTheFileIsKeptAndMerged()
	{
		QVERIFY(QDir().mkpath(dir));
		const QString path = SettingsStorage::filePath(dir);
		QThread *toldOn = nullptr;
		SettingsStorage::setWriteFailureReporter(
			[&toldOn](const QString &, const QString &) { toldOn = QThread::currentThread(); });
		QLockFile anotherProgram(path + QStringLiteral(".lock"));
		QVERIFY(anotherProgram.lock());

		// Changed on a thread of its own, told on the application's.
		QTest::ignoreMessage(QtWarningMsg,
				     QRegularExpression(QStringLiteral("could not be written: .* locked")));
		QVERIFY(!std::async(std::launch::async, [this]() {
				 return setNumber(QStringLiteral("Mine"), 1, dir);
			 }).get());
		QTRY_COMPARE(toldOn, QThread::currentThread());
		QCOMPARE(SettingsFile::read(dir).value(QStringLiteral("Mine")).toInt(), 1);

		// What the other program wrote meanwhile stays beside the change kept and the next one.
		writeContent(path, R"({"Theirs": 2})");
		anotherProgram.unlock();
		QVERIFY(setNumber(QStringLiteral("Next"), 3, dir));
		QCOMPARE(QJsonDocument::fromJson(fileContent(path)).object(),
			 (QJsonObject{{QStringLiteral("Theirs"), 2},
				      {QStringLiteral("Mine"), 1},
				      {QStringLiteral("Next"), 3}}));
		SettingsStorage::setWriteFailureReporter(nullptr);
	}

	// The settings hold the relay's secret: once written, the file is its owner's alone, or stricter where the
	// owner made it so.
	void fileIsReadByItsOwnerOnly_data()
	{
		QTest::addColumn<int>("before");   // -1: no file yet
		QTest::addColumn<bool>("written"); // else only read
		QTest::addColumn<int>("after");
		QTest::newRow("new") << -1 << true << 0600;
		QTest::newRow("readable by all") << 0644 << true << 0600;
		QTest::newRow("writable by the group") << 0660 << true << 0600;
		QTest::newRow("read-only for its owner") << 0400 << true << 0400;
		QTest::newRow("readable by all, read") << 0644 << false << 0600;
		QTest::newRow("its owner's, read") << 0600 << false << 0600;
	}
	void fileIsReadByItsOwnerOnly()
	{
		QFETCH(int, before);
		QFETCH(bool, written);
		QFETCH(int, after);
		QVERIFY(QDir().mkpath(dir));
		const QByteArray path = QFile::encodeName(SettingsStorage::filePath(dir));
		if (before >= 0) {
			writeContent(QString::fromLocal8Bit(path), "{\"n\": 2}");
			QVERIFY(chmod(path.constData(), mode_t(before)) == 0);
		}
		if (written)
			QVERIFY(setNumber(QStringLiteral("n"), 1, dir));
		else
			QCOMPARE(SettingsFile::read(dir).value(QStringLiteral("n")).toInt(), 2);
		struct stat info{};
		QVERIFY(stat(path.constData(), &info) == 0);
		QCOMPARE(int(info.st_mode & 0777), after);
	}

	void readsAreKeptUntilTheFileChanges()
	{
		QVERIFY(QDir().mkpath(dir));
		const QString path = SettingsStorage::filePath(dir);
		QSignalSpy changed(SettingsFile::notifier(), &SettingsNotifier::changed);
		const auto readNumber = [this]() { return SettingsFile::read(dir).value(QStringLiteral("n")).toInt(); };

		// Rewritten in place at once, at the same size: still seen, and told like a change of our own.
		writeContent(path, R"({"n": 1})");
		QCOMPARE(readNumber(), 1);
		writeContent(path, R"({"n": 2})");
		QCOMPARE(readNumber(), 2);
		QVERIFY(setNumber(QStringLiteral("n"), 3, dir));
		QCOMPARE(readNumber(), 3);
		QCOMPARE(changed.count(), 2);
		QCOMPARE(changed.last(), QVariantList{dir});
	}

	void warningBoxIsModalOnTopWithoutParent()
	{
		int shown = 0;
		ModalBox::setAnswerer([&](QMessageBox &box) {
			++shown;
			// An application-modal box that OBS's window could cover would leave OBS unusable.
			QCOMPARE(box.text(), QStringLiteral("Camera unreachable"));
			QVERIFY(box.windowFlags() & Qt::WindowStaysOnTopHint);
			QVERIFY(!box.parentWidget());
			QCOMPARE(box.windowModality(), Qt::ApplicationModal);
		});
		OperatorBox::warn(QStringLiteral("Camera unreachable"));
		ModalBox::setAnswerer(nullptr);
		QCOMPARE(shown, 1);
	}

	void answerReachesOnlyALivingCaller()
	{
		QList<QPointer<QMessageBox>> open;
		ModalBox::setAnswerer([&open](QMessageBox &box) { open << &box; });
		QDialog living;
		auto *deleted = new QDialog;
		QList<QDialog *> answered;
		for (QDialog *caller : {&living, deleted})
			ModalBox::open(new QMessageBox(QMessageBox::Question, "", "", QMessageBox::Yes), caller,
				       [&, caller](int answer) {
					       caller->setResult(answer); // a handler works on its caller
					       answered << caller;
				       });
		delete deleted; // while its box is open
		for (const QPointer<QMessageBox> &box : open)
			box->button(QMessageBox::Yes)->click();
		QCOMPARE(answered, QList<QDialog *>{&living});
		ModalBox::setAnswerer(nullptr);
	}

	void cameraAddresses_data()
	{
		QTest::addColumn<QString>("text");
		QTest::addColumn<bool>("usable");
		const auto row = [](const char *name, const char *text, bool usable) {
			QTest::newRow(name) << QString::fromLatin1(text) << usable;
		};
		row("private", "192.168.1.20", true);
		row("highest unicast", "223.255.255.255", true);
		row("leading zeros", "192.168.001.020", false);
		row("wildcard", "0.0.0.0", false);
		row("limited broadcast", "255.255.255.255", false);
		row("part over 255", "192.168.1.256", false);
		row("three parts", "10.0.1", false);
		row("trailing dot", "10.0.0.1.", false);
		row("trailing space", "127.0.0.51 ", false);
	}

	void cameraAddresses()
	{
		QFETCH(QString, text);
		QFETCH(bool, usable);
		const std::optional<quint32> address = CameraAddress::ipv4(text);
		QCOMPARE(address.has_value(), usable);
		if (usable)
			QCOMPARE(QHostAddress(*address).toString(), text);
	}
};

int main(int argc, char *argv[])
{
	// Another OBS sharing the settings folder.
	if (argc == 4 && qstrcmp(argv[1], kWriterArgument) == 0) {
		QCoreApplication application(argc, argv);
		std::puts("writing");
		std::fflush(stdout);
		return setKeys(QStringLiteral("Theirs"), QByteArray(argv[3]).toInt(), QString::fromLocal8Bit(argv[2]));
	}
	QApplication application(argc, argv);
	tst_SettingsFile test;
	QTEST_SET_MAIN_SOURCE_PATH
	return QTest::qExec(&test, argc, argv);
}
#include "tst_SettingsFile.moc"
