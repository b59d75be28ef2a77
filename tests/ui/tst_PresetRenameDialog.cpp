// The preset rename dialog: a slot's names of presets 1 to 19 shown from the settings file (the shared names of
// presets 1 to 9 until the slot has its own), and Apply storing the slot's names, keeping every other key, telling
// the controller window and closing.
#include "MainDialogTestSupport.h"
#include "settings/PresetNames.h"
#include "ui/ModalBox.h"
#include "ui/PresetRenameDialog.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace MainDialogTest;

namespace {

QLineEdit *field(QWidget *dialog, int number)
{
	return dialog->findChild<QLineEdit *>(QStringLiteral("Preset%1Edit").arg(number));
}

// The fields that hold a name, as "preset=name" separated by spaces.
QString namedFields(QWidget *dialog)
{
	QStringList named;
	for (int number = 1; number <= 19; ++number) {
		const QLineEdit *edit = field(dialog, number);
		if (!edit || !edit->text().isEmpty())
			named << QStringLiteral("%1=%2").arg(number).arg(edit ? edit->text()
									      : QStringLiteral("<missing>"));
	}
	return named.join(QLatin1Char(' '));
}

const QByteArray kShared =
	R"({"1": "A", "3": "Pulpit", "9": "Wide shot", "10": "not a shared name", "Camera1IP": "127.0.0.81"})";

} // namespace

class tst_PresetRenameDialog : public QObject {
	Q_OBJECT

	SettingsHome home;

private slots:
	void initTestCase() { QVERIFY(home.setUp()); }

	void init() { removeSettings(); }

	void showsTheSlotsNames_data()
	{
		QTest::addColumn<QByteArray>("content"); // empty: no settings file at all
		QTest::addColumn<int>("slot");
		QTest::addColumn<QString>("expected");

		QByteArray own = kShared;
		own.replace("{", R"({"Camera2PresetNames": {"3": "Lectern", "15": "Choir"}, )");
		QTest::newRow("no settings file") << QByteArray() << 1 << QString();
		QTest::newRow("shared names, 1 to 9") << kShared << 2 << "1=A 3=Pulpit 9=Wide shot";
		QTest::newRow("the slot's own names") << own << 2 << "3=Lectern 15=Choir";
		QTest::newRow("another slot's own names") << own << 1 << "1=A 3=Pulpit 9=Wide shot";
		QTest::newRow("own names not an object")
			<< QByteArray(R"({"3": "Pulpit", "Camera2PresetNames": "Lectern"})") << 2 << "3=Pulpit";
		QTest::newRow("not JSON") << QByteArray("{\"3\": \"Pulpit\",") << 2 << QString();
	}

	void showsTheSlotsNames()
	{
		QFETCH(QByteArray, content);
		QFETCH(int, slot);
		QFETCH(QString, expected);
		if (!content.isEmpty())
			QVERIFY(writeSettingsText(content));

		PresetRenameDialog dialog(slot, QStringLiteral("Stage"));
		QCOMPARE(namedFields(&dialog), expected);
	}

	void applyStoresTheSlotsNames_data()
	{
		QTest::addColumn<QByteArray>("content");
		QTest::addColumn<int>("edited");
		QTest::addColumn<QString>("typed"); // replaces the field's text; empty clears it
		QTest::addColumn<QJsonObject>("stored");

		QTest::newRow("shared names become the slot's own")
			<< kShared << 12 << QStringLiteral("Choir")
			<< QJsonObject{{"1", "A"}, {"3", "Pulpit"}, {"9", "Wide shot"}, {"12", "Choir"}};
		QTest::newRow("a cleared name is gone")
			<< QByteArray(R"({"3": "Pulpit", "Camera2PresetNames": {"3": "x"}})") << 3 << QString()
			<< QJsonObject();
	}

	void applyStoresTheSlotsNames()
	{
		QFETCH(QByteArray, content);
		QFETCH(int, edited);
		QFETCH(QString, typed);
		QFETCH(QJsonObject, stored);
		QVERIFY(writeSettingsText(content));
		const QJsonObject before = SettingsHome::read();

		QPointer<PresetRenameDialog> dialog = new PresetRenameDialog(2, QStringLiteral("Stage"));
		dialog->setAttribute(Qt::WA_DeleteOnClose);
		dialog->show();
		QSignalSpy changed(dialog.data(), &PresetRenameDialog::presetNamesChanged);
		field(dialog, edited)->clear();
		QTest::keyClicks(field(dialog, edited), typed);
		QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("ApplyButton")), Qt::LeftButton);
		QCOMPARE(changed.count(), 1);
		QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 5000);

		// The slot's names are stored; the shared names and every other key stay as they were.
		QJsonObject after = SettingsHome::read();
		QCOMPARE(after.take(QStringLiteral("Camera2PresetNames")), QJsonValue(stored));
		QJsonObject others = before;
		others.remove(QStringLiteral("Camera2PresetNames"));
		QCOMPARE(after, others);
		// The other slots still read the shared names.
		PresetRenameDialog other(1, QString());
		QCOMPARE(field(&other, 3)->text(), QStringLiteral("Pulpit"));
		QCOMPARE(field(&other, 12)->text(), QString());
	}

	// Closed with an edit not applied, the dialog asks: cancel keeps it open, discard keeps the file, save stores.
	void closingAsksAboutEdits()
	{
		QVERIFY(writeSettingsText(R"({"3": "Pulpit"})"));
		int answer = QMessageBox::Cancel;
		int asked = 0;
		ModalBox::setAnswerer([&](QMessageBox &box) {
			++asked;
			box.done(answer);
		});
		const auto restore = qScopeGuard([] { installModalAnswerer(); });
		for (int choice : {int(QMessageBox::Cancel), int(QMessageBox::Discard), int(QMessageBox::Save)}) {
			answer = choice;
			QPointer<PresetRenameDialog> dialog = new PresetRenameDialog(1, QString());
			dialog->setAttribute(Qt::WA_DeleteOnClose);
			dialog->show();
			field(dialog, 3)->setText(QStringLiteral("Edited"));
			dialog->close();
			QTRY_COMPARE(dialog && dialog->isVisible(), choice == QMessageBox::Cancel);
			delete dialog.data();
		}
		QCOMPARE(asked, 3);
		QCOMPARE(PresetNames::read(SettingsHome::read(), 1).value(2), QStringLiteral("Edited"));

		// Unedited, it closes without a word.
		PresetRenameDialog untouched(1, QString());
		untouched.show();
		untouched.close();
		QCOMPARE(asked, 3);
	}

	void unreadableSettingsChangeNothing()
	{
		QVERIFY(blockSettings());
		PresetRenameDialog dialog(1, QString());
		QCOMPARE(namedFields(&dialog), QString());
		QSignalSpy changed(&dialog, &PresetRenameDialog::presetNamesChanged);
		field(&dialog, 2)->setText(QStringLiteral("Lectern"));
		QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("ApplyButton")), Qt::LeftButton);

		// The controller window still re-reads its captions; nothing reached the disk.
		QCOMPARE(changed.count(), 1);
		QVERIFY(QFileInfo(Utils::getAppDataPath()).isFile());
	}
};

QTEST_MAIN(tst_PresetRenameDialog)
#include "tst_PresetRenameDialog.moc"
