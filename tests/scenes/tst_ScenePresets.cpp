// Presets linked to OBS scenes: what the settings key may hold and what survives a write back, and the recalls a
// scene switch starts on the linked slot's camera.

#include "CapturedLog.h"
#include "FakeSceneSource.h"
#include "ReceivedCommands.h"
#include "SettingsHome.h"
#include "TableRows.h"
#include "ShippedLocale.h"
#include "control/CameraPool.h"
#include "control/CameraPool.h"
#include "scenes/ScenePresetLinker.h"
#include "scenes/ScenePresetTable.h"
#include "settings/Utils.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const char *const kCameraAddress = "127.0.0.172";

using Link = ScenePresetTable::Link;
using Moment = ScenePresetTable::Moment;

QJsonValue parsed(const char *json)
{
	return QJsonDocument::fromJson(QByteArray("[") + json + "]").array().first();
}

// An entry of the settings key the links cannot use, and a word of the reason it is skipped with.
struct Unusable {
	const char *name;
	const char *json;
	const char *reason;
};
const Unusable kUnusable[] = {
	{"not an object", R"("Wide")", "not an object"},
	{"no scene", R"({"slot": 1, "preset": 2, "on": "program"})", "\"scene\""},
	{"scene a number", R"({"scene": 4, "slot": 1, "preset": 2, "on": "program"})", "\"scene\""},
	{"slot 0", R"({"scene": "A", "slot": 0, "preset": 2, "on": "program"})", "\"slot\""},
	{"slot 9", R"({"scene": "A", "slot": 9, "preset": 2, "on": "program"})", "\"slot\""},
	{"slot text", R"({"scene": "A", "slot": "1", "preset": 2, "on": "program"})", "\"slot\""},
	{"slot fraction", R"({"scene": "A", "slot": 1.5, "preset": 2, "on": "program"})", "\"slot\""},
	{"preset 0", R"({"scene": "A", "slot": 1, "preset": 0, "on": "program"})", "\"preset\""},
	{"preset 20", R"({"scene": "A", "slot": 1, "preset": 20, "on": "preview"})", "\"preset\""},
	{"moment unknown", R"({"scene": "A", "slot": 1, "preset": 2, "on": "cut"})", "\"on\""},
	{"twice for a moment", R"({"scene": "Wide", "slot": 2, "preset": 5, "on": "program"})", "already has a preset"},
};

} // namespace

class tst_ScenePresets : public QObject {
	Q_OBJECT

	SettingsHome home;
	std::unique_ptr<CameraSimulator> camera;

	static QJsonObject settingsWith(const QJsonValue &scenePresets)
	{
		return QJsonObject{{QStringLiteral("Camera3IP"), QString::fromLatin1(kCameraAddress)},
				   {QStringLiteral("Camera3NickName"), QStringLiteral("Pulpit camera")},
				   {QLatin1String(ScenePresetTable::kKey), scenePresets}};
	}

private slots:
	void initTestCase()
	{
		QVERIFY(home.setUp());
		qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
		QVERIFY(loadLocale());
		camera = startSimulatedCamera(QString::fromLatin1(kCameraAddress), QStringLiteral("NX-B93K"), 52381);
		QVERIFY(camera);
	}

	void unusableEntriesAreSkippedOneByOne_data() { addTableRows(kUnusable); }
	void unusableEntriesAreSkippedOneByOne()
	{
		const Unusable &row = currentTableRow(kUnusable);
		const QJsonValue bad = parsed(row.json);
		const QJsonArray stored{sceneLink(QStringLiteral("Wide"), 1, 3, "program"), bad,
					sceneLink(QStringLiteral("Wide"), 1, 4, "preview")};
		ScenePresetTable table = ScenePresetTable::fromSettings(settingsWith(stored));

		QCOMPARE(table.links().size(), 2);
		QCOMPARE(table.find(QStringLiteral("Wide"), Moment::Program)->preset, 3);
		QCOMPARE(table.find(QStringLiteral("Wide"), Moment::Preview)->preset, 4);
		QCOMPARE(table.unusable(), QJsonArray{bad});
		QCOMPARE(table.problems().size(), 1);
		QVERIFY2(table.problems().first().contains(QLatin1String(row.reason)),
			 qPrintable(table.problems().first()));

		// Editing the usable links writes the bad entry back as it stood; a link replaces the scene's link for
		// its moment only.
		table.setLink(Link{QStringLiteral("Wide"), 8, 19, Moment::Program});
		table.setLink(Link{QStringLiteral("Choir"), 2, 1, Moment::Preview});
		table.clearLink(QStringLiteral("Wide"), Moment::Preview);
		QCOMPARE(table.find(QStringLiteral("Choir"), Moment::Preview)->slot, 2);
		QCOMPARE(table.toJson(), (QJsonArray{sceneLink(QStringLiteral("Wide"), 8, 19, "program"),
						     sceneLink(QStringLiteral("Choir"), 2, 1, "preview"), bad}));
		// Only removing it takes it away.
		table.dropUnusable(0);
		table.removeScene(QStringLiteral("Wide"));
		QCOMPARE(table.toJson(), (QJsonArray{sceneLink(QStringLiteral("Choir"), 2, 1, "preview")}));
	}

	void keyThatIsNotAnArrayIsKept()
	{
		const ScenePresetTable table =
			ScenePresetTable::fromSettings(settingsWith(QJsonObject{{QStringLiteral("Wide"), 1}}));
		QVERIFY(table.links().isEmpty());
		QCOMPARE(table.problems().size(), 1);
		QVERIFY(table.problems().first().contains(QLatin1String("not an array")));
		QCOMPARE(table.toJson(), (QJsonArray{QJsonObject{{QStringLiteral("Wide"), 1}}}));

		QVERIFY(ScenePresetTable::fromSettings(QJsonObject()).problems().isEmpty());
	}

	// While a scene collection loads, at OBS's start or when the operator picks another, OBS puts its scenes in
	// program and preview: that recalls nothing, and after it only the loaded collection's links count.
	void collectionLoadsRecallNothing()
	{
		SettingsHome::write(
			settingsWith(QJsonArray{sceneLink(QStringLiteral("Pulpit"), 3, 5, "program", "Sunday"),
						sceneLink(QStringLiteral("Pulpit"), 3, 7, "program", "Weekday")}));
		CameraPool pool(CameraWorker::Options{});
		FakeSceneSource scenes;
		ScenePresetLinker linker(&scenes, &pool);
		QSignalSpy calls(&pool, &CameraPool::presetCalled);

		for (const char *collection : {"Sunday", "Weekday"}) {
			scenes.beginLoading();
			emit scenes.programSceneChanged(QStringLiteral("Pulpit"));
			emit scenes.previewSceneChanged(QStringLiteral("Pulpit"));
			scenes.endLoading(QLatin1String(collection));
		}
		QCOMPARE(calls.count(), 0);
		emit scenes.programSceneChanged(QStringLiteral("Pulpit"));
		QCOMPARE(calls.count(), 1);
		QCOMPARE(calls.at(0).at(1).toInt(), 7);
	}

	void sceneSwitchRecallsOnTheLinkedCamera()
	{
		SettingsHome::write(settingsWith(QJsonArray{sceneLink(QStringLiteral("Pulpit"), 3, 5, "program"),
							    sceneLink(QStringLiteral("Choir"), 3, 7, "preview"),
							    sceneLink(QStringLiteral("Wide"), 2, 1, "program")}));
		CameraPool pool(CameraWorker::Options{});
		FakeSceneSource scenes;
		ScenePresetLinker linker(&scenes, &pool);
		QSignalSpy calls(&pool, &CameraPool::presetCalled);
		QSignalSpy notices(&pool, &CameraPool::notice);
		QVERIFY(clearWhenQuiet(*camera));

		// The moment counts: Choir is linked for preview only, Pulpit for program only.
		emit scenes.programSceneChanged(QStringLiteral("Choir"));
		emit scenes.previewSceneChanged(QStringLiteral("Pulpit"));
		QCOMPARE(calls.count(), 0);
		emit scenes.programSceneChanged(QStringLiteral("Pulpit"));
		emit scenes.previewSceneChanged(QStringLiteral("Choir"));
		QCOMPARE(calls.count(), 2);
		QCOMPARE(calls.at(0), QVariantList({3, 5, QVariant::fromValue(CameraOrigin::Scene)}));
		QTRY_COMPARE_WITH_TIMEOUT(
			commandPayloads(*camera, QStringLiteral("8101043f02")),
			QStringList({QStringLiteral("8101043f0205ff"), QStringLiteral("8101043f0207ff")}), 10000);

		// A slot without an address is said in the window, never sent anywhere.
		emit scenes.programSceneChanged(QStringLiteral("Wide"));
		QCOMPARE(notices.count(), 1);
		QCOMPARE(calls.count(), 2);

		// A hand edit counts at the next switch.
		SettingsHome::write(settingsWith(QJsonArray{sceneLink(QStringLiteral("Pulpit"), 3, 11, "program")}));
		emit scenes.programSceneChanged(QStringLiteral("Pulpit"));
		QTRY_COMPARE_WITH_TIMEOUT(commandPayloads(*camera, QStringLiteral("8101043f02")).size(), 3, 10000);
		QCOMPARE(commandPayloads(*camera, QStringLiteral("8101043f02")).last(),
			 QStringLiteral("8101043f020bff"));
	}

	// A scene's name is OBS's and a slot's the operator's, whatever they hold: a newline in them never writes a
	// line of its own into the log, which names the slot as the window does.
	void sceneNameWithANewlineStaysInItsLine()
	{
		const QString forged = QStringLiteral("Pulpit\n[Kavren] forged");
		SettingsHome::write(settingsWith(QJsonArray{sceneLink(forged, 3, 5, "program")}));
		CameraPool pool(CameraWorker::Options{}, [](int) { return QStringLiteral("Choir\rloft"); });
		FakeSceneSource scenes;
		ScenePresetLinker linker(&scenes, &pool);
		CapturedLog::install();
		CapturedLog::clear();
		emit scenes.programSceneChanged(forged);
		CapturedLog::uninstall();
		QCOMPARE(
			CapturedLog::all().filter(QStringLiteral("went to program")),
			QStringList{QStringLiteral(
				R"(Scene "Pulpit\n[Kavren] forged" went to program: preset 5 on "Choir\rloft" (slot 3))")});
	}

	// Renames come while another OBS holds the settings file: the UI thread goes on, and once the file is free
	// the renames are written, beside what the other OBS wrote meanwhile.
	void renamesWaitForTheFileOffTheUiThread()
	{
		SettingsHome::write(settingsWith(QJsonArray{sceneLink(QStringLiteral("A"), 3, 5, "program"),
							    sceneLink(QStringLiteral("B"), 3, 6, "program")}));
		CameraPool pool(CameraWorker::Options{});
		FakeSceneSource scenes;
		ScenePresetLinker linker(&scenes, &pool);
		const QString path = SettingsStorage::filePath(Utils::getAppDataPath());
		QLockFile anotherObs(path + QStringLiteral(".lock"));
		QVERIFY(anotherObs.lock());
		emit scenes.sceneRenamed(QStringLiteral("A"), QStringLiteral("A2"));
		emit scenes.sceneRenamed(QStringLiteral("B"), QStringLiteral("B2"));
		emit scenes.sceneRenamed(QStringLiteral("A2"), QStringLiteral("A3"));
		QJsonObject theirs = QJsonDocument::fromJson(fileContent(path)).object();
		theirs.insert(QStringLiteral("Theirs"), 1);
		writeContent(path, QJsonDocument(theirs).toJson());
		anotherObs.unlock();

		QVERIFY(SettingsFile::finishWrites(10000));
		const QJsonObject settings = SettingsHome::read();
		QCOMPARE(settings.value(QStringLiteral("Theirs")).toInt(), 1);
		QCOMPARE(settings.value(QLatin1String(ScenePresetTable::kKey)).toArray(),
			 QJsonArray({sceneLink(QStringLiteral("A3"), 3, 5, "program"),
				     sceneLink(QStringLiteral("B2"), 3, 6, "program")}));
	}

	// Links stored before they belonged to a scene collection become the first loaded one's; a rename of a scene
	// or of the collection carries that collection's links along, and no other's.
	void renamedSceneKeepsItsLinks()
	{
		const QJsonValue bad = parsed(R"({"scene": "Pulpit", "slot": 12})");
		const QJsonObject weekday = sceneLink(QStringLiteral("Pulpit"), 3, 9, "program", "Weekday");
		SettingsHome::write(
			settingsWith(QJsonArray{sceneLink(QStringLiteral("Pulpit"), 3, 5, "program"),
						sceneLink(QStringLiteral("Pulpit"), 3, 6, "preview"),
						sceneLink(QStringLiteral("Wide"), 3, 1, "program"), bad, weekday}));
		CameraPool pool(CameraWorker::Options{});
		FakeSceneSource scenes;
		ScenePresetLinker linker(&scenes, &pool);

		scenes.endLoading(QStringLiteral("Sunday"));
		QCOMPARE(SettingsHome::read().value(QLatin1String(ScenePresetTable::kKey)).toArray().at(2),
			 QJsonValue(sceneLink(QStringLiteral("Wide"), 3, 1, "program", "Sunday")));
		emit scenes.sceneRenamed(QStringLiteral("Pulpit"), QStringLiteral("Lectern"));
		scenes.renameCollection(QStringLiteral("Sundays"));
		const QJsonObject settings = SettingsHome::read();
		QCOMPARE(settings.value(QLatin1String(ScenePresetTable::kKey)).toArray(),
			 QJsonArray({sceneLink(QStringLiteral("Lectern"), 3, 5, "program", "Sundays"),
				     sceneLink(QStringLiteral("Lectern"), 3, 6, "preview", "Sundays"),
				     sceneLink(QStringLiteral("Wide"), 3, 1, "program", "Sundays"), bad, weekday}));
		// The rest of the file is untouched.
		QCOMPARE(settings.value(QStringLiteral("Camera3NickName")).toString(), QStringLiteral("Pulpit camera"));

		// A rename of a scene without links leaves the file as it is.
		const QByteArray before = QJsonDocument(SettingsHome::read()).toJson();
		emit scenes.sceneRenamed(QStringLiteral("Choir"), QStringLiteral("Singers"));
		QCOMPARE(QJsonDocument(SettingsHome::read()).toJson(), before);
	}
};

QTEST_GUILESS_MAIN(tst_ScenePresets)
#include "tst_ScenePresets.moc"
