// The Scene Presets dialog: OBS's scenes with their links, every change stored at once through the settings file
// (hand edits made meanwhile kept), and scenes or entries that cannot be used kept until the operator removes them.

#include "FakeSceneSource.h"
#include "SettingsHome.h"
#include "ShippedLocale.h"
#include "control/CameraPool.h"
#include "settings/Utils.h"
#include "ui/ScenePresetDialog.h"

#include <QComboBox>
#include <QJsonArray>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {

QJsonObject link(const char *scene, int slot, int preset, const char *on, const char *collection = nullptr)
{
	return sceneLink(QLatin1String(scene), slot, preset, on, collection);
}

} // namespace

class tst_ScenePresetDialog : public QObject {
	Q_OBJECT

	// A link of another scene collection: neither listed nor lost.
	const QJsonObject elsewhere = link("Elsewhere", 3, 1, "program", "Weekday");

	SettingsHome home;
	FakeSceneSource scenes;
	std::unique_ptr<CameraPool> pool;
	std::unique_ptr<ScenePresetDialog> dialog;

	QTableWidget *table() const { return dialog->findChild<QTableWidget *>(QStringLiteral("SceneTable")); }
	template <typename Cell>
	Cell *cell(int row, int column) const
	{
		return qobject_cast<Cell *>(table()->cellWidget(row, column));
	}
	QJsonArray storedLinks() const { return SettingsHome::read().value(QStringLiteral("ScenePresets")).toArray(); }

private slots:
	void initTestCase()
	{
		scenes.names = QStringList{QStringLiteral("Wide"), QStringLiteral("Pulpit")};
		QVERIFY(loadLocale());
		QVERIFY(home.setUp());
		pool = std::make_unique<CameraPool>(CameraWorker::Options(),
						    [](int slot) { return QStringLiteral("Camera %1").arg(slot); });
	}

	void init()
	{
		// Wide recalls preset 3 of slot 1 in program; "Gone" is no scene any more; one entry is unusable.
		SettingsHome::write(
			QJsonObject{{QStringLiteral("ScenePresets"),
				     QJsonArray{link("Wide", 1, 3, "program"), link("Gone", 2, 4, "preview"),
						link("Choir", 12, 1, "program"), elsewhere}},
				    {QStringLiteral("Camera1NickName"), QStringLiteral("Stage")},
				    {QStringLiteral("Camera1PresetNames"),
				     QJsonObject{{QStringLiteral("3"), QStringLiteral("Pulpit")}}}});
		dialog = std::make_unique<ScenePresetDialog>(pool.get(), &scenes);
	}

	void cleanup() { dialog.reset(); }

	void cleanupTestCase() { pool.reset(); }

	void listsScenesLinksAndWhatCannotBeUsed()
	{
		QCOMPARE(table()->rowCount(), 3);
		QCOMPARE(table()->item(0, ScenePresetDialog::SceneColumn)->text(), QStringLiteral("Wide"));
		QVERIFY(table()->item(2, ScenePresetDialog::SceneColumn)->text().contains(QStringLiteral("Gone")));
		QVERIFY(table()->item(2, ScenePresetDialog::SceneColumn)->font().italic());
		QCOMPARE(cell<QComboBox>(0, ScenePresetDialog::ProgramCameraColumn)->currentData().toInt(), 1);
		// Presets by the names their camera gives them.
		QCOMPARE(cell<QComboBox>(0, ScenePresetDialog::ProgramPresetColumn)->currentText(),
			 QStringLiteral("3 · Pulpit"));
		QVERIFY(!cell<QComboBox>(1, ScenePresetDialog::ProgramPresetColumn)->isEnabled());
		QCOMPARE(cell<QComboBox>(2, ScenePresetDialog::PreviewCameraColumn)->currentData().toInt(), 2);
		QCOMPARE(cell<QComboBox>(2, ScenePresetDialog::PreviewPresetColumn)->currentText(),
			 QStringLiteral("4"));
		auto *unusable = dialog->findChild<QListWidget *>(QStringLiteral("UnusableList"));
		QCOMPARE(unusable->count(), 1);
		QVERIFY(unusable->item(0)->text().contains(QStringLiteral("Choir")));
	}

	// Each change goes through the file as it stands: a key written by hand meanwhile stays, and choosing no
	// camera removes the link.
	void changesAreStoredAtOnceAndKeepHandEdits()
	{
		QJsonObject edited = SettingsHome::read();
		edited.insert(QStringLiteral("HandEdit"), true);
		SettingsHome::write(edited);

		auto *pulpitCamera = cell<QComboBox>(1, ScenePresetDialog::PreviewCameraColumn);
		pulpitCamera->setCurrentIndex(pulpitCamera->findData(2));
		auto *pulpitPreset = cell<QComboBox>(1, ScenePresetDialog::PreviewPresetColumn);
		pulpitPreset->setCurrentIndex(pulpitPreset->findData(7));
		auto *wideCamera = cell<QComboBox>(0, ScenePresetDialog::ProgramCameraColumn);
		wideCamera->setCurrentIndex(wideCamera->findData(0));

		const QJsonArray links = storedLinks();
		QVERIFY(links.contains(link("Pulpit", 2, 7, "preview")));
		QVERIFY(!links.contains(link("Wide", 1, 3, "program")));
		QVERIFY(links.contains(link("Gone", 2, 4, "preview")));
		QVERIFY(links.contains(link("Choir", 12, 1, "program")));
		QVERIFY(links.contains(elsewhere));
		QCOMPARE(SettingsHome::read().value(QStringLiteral("HandEdit")), QJsonValue(true));
	}

	// A missing scene and an unusable entry go only when the operator removes them.
	void removesOnlyWhatTheOperatorRemoves()
	{
		auto *remove = dialog->findChild<QPushButton *>(QStringLiteral("RemoveButton"));
		table()->selectRow(0);
		QVERIFY(!remove->isEnabled());
		table()->selectRow(2);
		QVERIFY(remove->isEnabled());
		remove->click();
		QVERIFY(!storedLinks().contains(link("Gone", 2, 4, "preview")));
		QCOMPARE(table()->rowCount(), 2);

		auto *unusable = dialog->findChild<QListWidget *>(QStringLiteral("UnusableList"));
		unusable->setCurrentRow(0);
		remove->click();
		QVERIFY(!storedLinks().contains(link("Choir", 12, 1, "program")));
		QVERIFY(storedLinks().contains(link("Wide", 1, 3, "program")));
	}

	// A broken file is never lost to the dialog's idea of it: it is kept aside whole, as for every other key.
	void aBrokenFileIsKeptAside()
	{
		QFile file(SettingsStorage::filePath(Utils::getAppDataPath()));
		QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
		file.write("{ not json");
		file.close();
		auto *wideCamera = cell<QComboBox>(0, ScenePresetDialog::ProgramCameraColumn);
		wideCamera->setCurrentIndex(wideCamera->findData(2));
		const QFileInfoList kept =
			QDir(Utils::getAppDataPath())
				.entryInfoList({QStringLiteral("KavrenOBSPlugin.json.broken-*")}, QDir::Files);
		QCOMPARE(kept.size(), 1);
		QFile aside(kept.first().filePath());
		QVERIFY(aside.open(QIODevice::ReadOnly));
		QCOMPARE(aside.readAll(), QByteArray("{ not json"));
	}
};

QTEST_MAIN(tst_ScenePresetDialog)
#include "tst_ScenePresetDialog.moc"
