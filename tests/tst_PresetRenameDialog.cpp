// The preset rename dialog: the nine captions shown from the settings file, and Apply storing all nine, keeping
// every other key, telling the controller window and closing.
#include "settings/Utils.h"
#include "ui/ModuleText.h"
#include "ui/PresetRenameDialog.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

namespace {

QString settingsDir()
{
	return Utils::getAppDataPath();
}

QString settingsFile()
{
	return Utils::settingsFilePath(settingsDir());
}

void writeSettings(const QByteArray &content)
{
	QVERIFY(QDir().mkpath(settingsDir()));
	QFile file(settingsFile());
	QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
	QCOMPARE(file.write(content), qint64(content.size()));
}

QJsonObject readSettings()
{
	QFile file(settingsFile());
	if (!file.open(QIODevice::ReadOnly))
		return QJsonObject();
	return QJsonDocument::fromJson(file.readAll()).object();
}

QLineEdit *field(QWidget *dialog, int number)
{
	return dialog->findChild<QLineEdit *>(QStringLiteral("Preset%1Edit").arg(number));
}

QStringList fieldTexts(QWidget *dialog)
{
	QStringList texts;
	for (int number = 1; number <= 9; ++number) {
		QLineEdit *edit = field(dialog, number);
		texts << (edit ? edit->text() : QStringLiteral("<missing>"));
	}
	return texts;
}

const QStringList kDigits = {"1", "2", "3", "4", "5", "6", "7", "8", "9"};

} // namespace

class tst_PresetRenameDialog : public QObject {
	Q_OBJECT

private slots:
	void initTestCase()
	{
		QStandardPaths::setTestModeEnabled(true);
		QVERIFY(!settingsDir().isEmpty());
		ModuleText::setLookup([](const char *key) -> const char * {
			// A fixed table of the shipped texts the dialog shows.
			if (qstrcmp(key, "PresetRename") == 0)
				return "Rename Presets";
			if (qstrcmp(key, "Preset7") == 0)
				return "Preset 7";
			return nullptr;
		});
	}

	void init()
	{
		QDir(settingsDir()).removeRecursively();
		QFile::remove(settingsDir());
	}

	void cleanupTestCase()
	{
		QDir(settingsDir()).removeRecursively();
		QFile::remove(settingsDir());
		ModuleText::setLookup(nullptr);
	}

	void showsStoredCaptions_data()
	{
		QTest::addColumn<QByteArray>("content"); // empty: no settings file at all
		QTest::addColumn<QStringList>("expected");

		QTest::newRow("no settings file") << QByteArray() << kDigits;
		QTest::newRow("only key 3") << QByteArray(R"({"3": "Pulpit"})")
					    << QStringList{"1", "2", "Pulpit", "4", "5", "6", "7", "8", "9"};
		QTest::newRow("all nine and others")
			<< QByteArray(R"({"1": "A", "2": "B", "3": "C", "4": "D", "5": "", "6": "F", "7": "G",
					  "8": "H", "9": "Wide shot", "Camera1IP": "127.0.0.81", "10": "ten"})")
			<< QStringList{"A", "B", "C", "D", "", "F", "G", "H", "Wide shot"};
		QTest::newRow("not JSON") << QByteArray("{\"3\": \"Pulpit\",") << kDigits;
		QTest::newRow("slot keys are not captions")
			<< QByteArray(R"({"Camera3NickName": "Pulpit", "Preset3": "x"})") << kDigits;
	}

	void showsStoredCaptions()
	{
		QFETCH(QByteArray, content);
		QFETCH(QStringList, expected);
		if (!content.isEmpty())
			writeSettings(content);

		PresetRenameDialog dialog;
		QCOMPARE(fieldTexts(&dialog), expected);
		QCOMPARE(dialog.windowTitle(), QStringLiteral("Rename Presets"));
		auto *label = dialog.findChild<QLabel *>(QStringLiteral("Preset7Label"));
		QVERIFY(label);
		QCOMPARE(label->text(), QStringLiteral("Preset 7"));
	}

	void applyStoresAllNine_data()
	{
		QTest::addColumn<QByteArray>("content");
		QTest::addColumn<int>("edited");
		QTest::addColumn<QString>("typed"); // replaces the field's text; empty clears it
		QTest::addColumn<QStringList>("stored");

		QTest::newRow("no file, field 5 cleared")
			<< QByteArray() << 5 << QString() << QStringList{"1", "2", "3", "4", "", "6", "7", "8", "9"};
		QTest::newRow("one key, field 1 renamed")
			<< QByteArray(R"({"3": "Pulpit"})") << 1 << QStringLiteral("Stage left")
			<< QStringList{"Stage left", "2", "Pulpit", "4", "5", "6", "7", "8", "9"};
		QTest::newRow("others kept, field 9 renamed")
			<< QByteArray(R"({"Camera1IP": "127.0.0.81", "hotKey": true, "127.0.0.81NX-J57PanSpeed": "9"})")
			<< 9 << QStringLiteral("Choir") << QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "Choir"};
	}

	void applyStoresAllNine()
	{
		QFETCH(QByteArray, content);
		QFETCH(int, edited);
		QFETCH(QString, typed);
		QFETCH(QStringList, stored);
		if (!content.isEmpty())
			writeSettings(content);
		const QJsonObject before = readSettings();

		QPointer<PresetRenameDialog> dialog = new PresetRenameDialog;
		dialog->setAttribute(Qt::WA_DeleteOnClose);
		dialog->show();
		QSignalSpy changed(dialog.data(), &PresetRenameDialog::presetNamesChanged);
		QLineEdit *edit = field(dialog, edited);
		QVERIFY(edit);
		edit->clear();
		QTest::keyClicks(edit, typed);
		auto *apply = dialog->findChild<QPushButton *>(QStringLiteral("ApplyButton"));
		QVERIFY(apply);
		QTest::mouseClick(apply, Qt::LeftButton);

		QCOMPARE(changed.count(), 1);
		QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 5000);

		const QJsonObject after = readSettings();
		for (int number = 1; number <= 9; ++number) {
			const QJsonValue value = after.value(QString::number(number));
			QVERIFY2(value.isString(), qPrintable(QStringLiteral("key %1").arg(number)));
			QCOMPARE(value.toString(), stored.at(number - 1));
		}
		for (auto it = before.constBegin(); it != before.constEnd(); ++it) {
			if (it.key().size() == 1 && it.key().at(0).isDigit())
				continue;
			QCOMPARE(after.value(it.key()), it.value());
		}
		QCOMPARE(after.size(), int(before.size() + 9 - (before.contains(QStringLiteral("3")) ? 1 : 0)));
	}

	void closingWithoutApplyKeepsTheFile()
	{
		writeSettings(R"({"3": "Pulpit"})");
		PresetRenameDialog dialog;
		dialog.show();
		QSignalSpy changed(&dialog, &PresetRenameDialog::presetNamesChanged);
		field(&dialog, 3)->setText(QStringLiteral("Edited"));
		dialog.close();
		QCOMPARE(changed.count(), 0);
		QCOMPARE(readSettings(), QJsonObject({{QStringLiteral("3"), QStringLiteral("Pulpit")}}));

		// The next opening re-reads the file: the discarded edit is gone.
		PresetRenameDialog reopened;
		QCOMPARE(field(&reopened, 3)->text(), QStringLiteral("Pulpit"));
	}

	void unreadableSettingsChangeNothing()
	{
		// A plain file where the settings directory belongs: the directory cannot be made, so reading fails.
		QVERIFY(QDir().mkpath(QFileInfo(settingsDir()).path()));
		{
			QFile blocker(settingsDir());
			QVERIFY(blocker.open(QIODevice::WriteOnly));
			blocker.write("not a directory");
		}

		PresetRenameDialog dialog;
		QCOMPARE(fieldTexts(&dialog), kDigits);
		QSignalSpy changed(&dialog, &PresetRenameDialog::presetNamesChanged);
		field(&dialog, 2)->setText(QStringLiteral("Lectern"));
		QTest::ignoreMessage(QtDebugMsg, "It's failed to read JSON file.");
		QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("ApplyButton")), Qt::LeftButton);

		// The controller window still re-reads its captions; nothing reached the disk.
		QCOMPARE(changed.count(), 1);
		QVERIFY(QFileInfo(settingsDir()).isFile());
		QVERIFY(!QFileInfo::exists(settingsFile()));
	}
};

QTEST_MAIN(tst_PresetRenameDialog)
#include "tst_PresetRenameDialog.moc"
