// The controller window as an operator meets it: truthful status messages, preset feedback, the keyboard, screen
// readers, and what the window remembers from one start to the next.

#include "MainDialogTestSupport.h"
#include "ui/FocusRing.h"
#include "OrdinaryUser.h"

#include "ui/MainDialog.h"
#include "ui/PresetRenameDialog.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace MainDialogTest;

namespace {

const char *const kCameraAddress = "127.0.0.55";
const QString kMoveUp = QStringLiteral("8101060107070301ff");
const QString kMoveLeft = QStringLiteral("8101060107070103ff");
const QString kMoveUpLeft = QStringLiteral("8101060107070101ff");
const QString kStop = QStringLiteral("8101060107070303ff");

} // namespace

class tst_MainDialogUse : public QObject {
	Q_OBJECT

private slots:
	void initTestCase()
	{
		QVERIFY(home.setUp());
		QVERIFY(loadWindowLocale());
		qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
		installModalAnswerer();
		camera = startCamera(kCameraAddress, "NX-B93K");
	}

	void init()
	{
		SettingsHome::write(QJsonObject{{QStringLiteral("Camera1IP"), QString::fromLatin1(kCameraAddress)},
						{QStringLiteral("Camera1NickName"), QStringLiteral("Stage")}});
		boxTexts().clear();
		dialog = std::make_unique<ControlledWindow>();
		dialog->show();
		clearWhenQuiet(*camera);
	}

	void cleanup() { dialog.reset(); }

	void cleanupTestCase()
	{
		camera.reset();
		ModalBox::setAnswerer(nullptr);
	}

	void statusFollowsItsCause()
	{
		// A slot without an address: one warning that says what to do, no box.
		QVERIFY(!connectSlot(5));
		QCOMPARE(message(), localeText("StatusNoAddress").arg(QStringLiteral("Camera 5")));
		QCOMPARE(child<QLabel>("MessageLabel")->property("severity").toString(), QStringLiteral("warning"));
		QVERIFY(boxTexts().isEmpty());

		// Once the slot has an address, the message about it goes.
		emit dialog->findChild<QAction *>(QStringLiteral("CameraAssignAction"))->triggered();
		dialog->setIPAndName(4, QStringLiteral("127.0.0.56"), QStringLiteral("Balcony"));
		QCOMPARE(message(), QString());

		// A message about another slot stays when a different slot is assigned.
		QVERIFY(!connectSlot(6));
		dialog->setIPAndName(2, QStringLiteral("127.0.0.57"), QStringLiteral("Side"));
		QCOMPARE(message(), localeText("StatusNoAddress").arg(QStringLiteral("Camera 6")));

		// Connecting clears it.
		QVERIFY(connectSlot(1));
		QCOMPARE(message(), QString());
	}

	void presetFeedback_data()
	{
		QTest::addColumn<QString>("button");
		QTest::addColumn<int>("preset"); // 0: none selected
		QTest::addColumn<bool>("ten");
		QTest::addColumn<QString>("pending");
		QTest::addColumn<QString>("done");

		const QString three = localeText("PresetNumber").arg(3);
		const QString thirteen = localeText("PresetNumber").arg(13);
		QTest::newRow("store 3") << "StoreButton" << 3 << false
					 << localeText("StatusPresetStoring").arg(three, "Stage")
					 << localeText("StatusPresetStored").arg(three, "Stage");
		QTest::newRow("call 13") << "CallButton" << 3 << true
					 << localeText("StatusPresetCalling").arg(thirteen, "Stage")
					 << localeText("StatusPresetCalled").arg(thirteen, "Stage");
		QTest::newRow("store nothing") << "StoreButton" << 0 << false << localeText("StatusSelectPreset")
					       << localeText("StatusSelectPreset");
	}

	void presetFeedback()
	{
		QFETCH(QString, button);
		QFETCH(int, preset);
		QFETCH(bool, ten);
		QFETCH(QString, pending);
		QFETCH(QString, done);

		QVERIFY(connectSlot(1));
		if (ten)
			QTest::mouseClick(child<QPushButton>("TenButton"), Qt::LeftButton);
		if (preset)
			QTest::mouseClick(child<QPushButton>(qPrintable(QStringLiteral("Preset%1Button").arg(preset))),
					  Qt::LeftButton);
		QTest::mouseClick(child<QPushButton>(qPrintable(button)), Qt::LeftButton);
		QCOMPARE(message(), pending);
		QTRY_COMPARE_WITH_TIMEOUT(message(), done, 10000);
	}

	// Each camera has names of its own for presets 1 to 19, shown with "10+" too; the slot's caption in the
	// messages is the one it has now.
	void presetNamesFollowTheCamera()
	{
		// "2" is read by every camera without names of its own.
		const auto settings = [](const char *slotCaption) {
			return QJsonObject{{"Camera1IP", kCameraAddress},
					   {"Camera1NickName", slotCaption},
					   {"2", "Shared"},
					   {"Camera1PresetNames",
					    QJsonObject{{"2", "Lectern"}, {"10", "Wide"}, {"12", "Pulpit"}}}};
		};
		SettingsHome::write(settings("Stage"));
		const auto caption = [this](const char *button) { return child<QPushButton>(button)->text(); };
		dialog->updatePresetName();
		QCOMPARE(caption("Preset2Button"), QStringLiteral("Shared"));
		QVERIFY(connectSlot(1));
		QCOMPARE(caption("Preset2Button"), QStringLiteral("Lectern"));
		QTest::mouseClick(child<QPushButton>("TenButton"), Qt::LeftButton);
		QCOMPARE(QStringList({caption("TenButton"), caption("Preset2Button"), caption("Preset3Button")}),
			 QStringList({"Wide", "Pulpit", "13"}));
		child<QAction>("PresetRenameAction")->trigger();
		auto *rename = dialog->findChild<PresetRenameDialog *>();
		rename->findChild<QLineEdit *>(QStringLiteral("Preset13Edit"))->setText(QStringLiteral("Choir"));
		QTest::mouseClick(rename->findChild<QPushButton *>(QStringLiteral("ApplyButton")), Qt::LeftButton);
		QCOMPARE(caption("Preset3Button"), QStringLiteral("Choir"));

		SettingsHome::write(settings("Balcony"));
		dialog->setIPAndName(0, QString(), QString());
		QVERIFY(child<QLabel>("ConnectionLabel")->text().startsWith(QStringLiteral("Balcony")));
		QTest::mouseClick(child<QPushButton>("Preset2Button"), Qt::LeftButton);
		QTest::mouseClick(child<QPushButton>("StoreButton"), Qt::LeftButton);
		QTRY_COMPARE_WITH_TIMEOUT(message(),
					  localeText("StatusPresetStored").arg("Preset 12 (Pulpit)", "Balcony"), 10000);
	}

	void screenReaderActionsDoWhatAClickDoes()
	{
		// Toggling a slot through its accessible action connects its camera, as a click does.
		QAccessibleInterface *slot = QAccessible::queryAccessibleInterface(child<QPushButton>("Camera1Button"));
		QVERIFY(slot && slot->actionInterface());
		QVERIFY(slot->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
		slot->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
		QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>("Camera1Button")->isChecked(), 10000);
		QVERIFY(slot->state().checked);
		QVERIFY(cameraSettled(dialog.get()));

		// Pressing a preset selects it the way a click does: the other presets let go.
		QTest::mouseClick(child<QPushButton>("Preset2Button"), Qt::LeftButton);
		QAccessibleInterface *preset =
			QAccessible::queryAccessibleInterface(child<QPushButton>("Preset5Button"));
		preset->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
		QVERIFY(child<QPushButton>("Preset5Button")->isChecked());
		QVERIFY(!child<QPushButton>("Preset2Button")->isChecked());
		QCOMPARE(dialog->calculatePresetIndex(), 5);
	}

	void arrowKeysDriveThePad_data()
	{
		QTest::addColumn<QList<int>>("keys"); // pressed in order, released in reverse
		QTest::addColumn<QStringList>("expected");

		QTest::newRow("up") << QList<int>{Qt::Key_Up} << QStringList{kMoveUp, kStop};
		QTest::newRow("left") << QList<int>{Qt::Key_Left} << QStringList{kMoveLeft, kStop};
		// Up, then left as well: diagonal; letting go of left returns to up, then stop.
		QTest::newRow("up and left")
			<< QList<int>{Qt::Key_Up, Qt::Key_Left} << QStringList{kMoveUp, kMoveUpLeft, kMoveUp, kStop};
	}

	void arrowKeysDriveThePad()
	{
		QFETCH(QList<int>, keys);
		QFETCH(QStringList, expected);
		QVERIFY(connectSlot(1));
		// Active, so that the focus check below means something.
		dialog->activateWindow();
		QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
		auto *home = child<QPushButton>("HomeButton");
		home->setFocus();
		// Each key's command reaches the camera before the next key: the camera takes the latest word of a
		// lane.
		int step = 0;
		const auto arrived = [&] {
			return QTest::qWaitFor(
				       [&] { return distinctCommands(*camera).value(step) == expected.at(step); },
				       10000) &&
			       ++step;
		};
		for (int key : keys) {
			QTest::keyPress(home, Qt::Key(key));
			QVERIFY(arrived());
		}
		// A held key repeats; the repeats are not new moves.
		QKeyEvent repeat(QEvent::KeyPress, keys.last(), Qt::NoModifier, QString(), true);
		QCoreApplication::sendEvent(home, &repeat);
		for (auto it = keys.crbegin(); it != keys.crend(); ++it) {
			QTest::keyRelease(home, Qt::Key(*it));
			QVERIFY(arrived());
		}
		QVERIFY(cameraSettled(dialog.get()));
		QTRY_COMPARE(sent(commandPayloads(*camera)), sent(expected));
		// The arrows drove the camera; the focus stayed on the pad.
		QVERIFY(home->hasFocus());
	}

	void spaceAndEnterAct()
	{
		// Enter on a slot connects it.
		auto *slot = child<QPushButton>("Camera1Button");
		QTest::keyClick(slot, Qt::Key_Return);
		QTRY_VERIFY_WITH_TIMEOUT(slot->isChecked(), 10000);
		QVERIFY(cameraSettled(dialog.get()));
		clearWhenQuiet(*camera);

		// Space held on a pad button moves while it is down; Enter does the same.
		for (Qt::Key key : {Qt::Key_Space, Qt::Key_Enter}) {
			auto *up = child<QPushButton>("UpButton");
			QTest::keyPress(up, key);
			QVERIFY(cameraSettled(dialog.get()));
			QTRY_COMPARE(sent(commandPayloads(*camera)), sent(QStringList{kMoveUp}));
			QTest::keyRelease(up, key);
			QVERIFY(cameraSettled(dialog.get()));
			QTRY_COMPARE(sent(commandPayloads(*camera)), sent(QStringList({kMoveUp, kStop})));
			clearWhenQuiet(*camera);
		}

		// Return in a speed field commits the speed and clicks no button.
		auto *pan = child<QLineEdit>("PanSpeedEdit");
		child<QPushButton>("UpButton")->setFocus();
		pan->setFocus();
		pan->clear();
		QTest::keyClicks(pan, QStringLiteral("9"));
		QTest::keyClick(pan, Qt::Key_Return);
		QCOMPARE(pan->text(), QStringLiteral("9"));
		QVERIFY(onlyMarkerArrives(dialog.get(), *camera));
	}

	void unsavedSettingsAreSaid()
	{
		QVERIFY(connectSlot(1));
		const QString directory = Utils::getAppDataPath();
		const QString path = SettingsStorage::filePath(directory);
		const auto setReadOnly = [&](bool readOnly) {
			return chmod(QFile::encodeName(directory).constData(), readOnly ? 0555 : 0755) == 0 &&
			       chmod(QFile::encodeName(path).constData(), readOnly ? 0444 : 0644) == 0;
		};
		auto *pan = child<QLineEdit>("PanSpeedEdit");
		const auto commitPan = [pan](const char *speed) {
			pan->clear();
			QTest::keyClicks(pan, QString::fromLatin1(speed));
			QTest::keyClick(pan, Qt::Key_Return);
		};
		QVERIFY(setReadOnly(true));
		{
			// As an operator's OBS meets a read-only settings folder (root would write it anyway).
			const OrdinaryUser operatorUser(home.path());
			commitPan("9");
			QTRY_VERIFY(!message().isEmpty());
		}
		QVERIFY(setReadOnly(false));
		QVERIFY2(message().contains(path), qPrintable(message()));
		QCOMPARE(child<QLabel>("MessageLabel")->property("severity").toString(), QStringLiteral("warning"));
		// Kept in memory: the window goes on as if it was stored.
		QCOMPARE(SettingsFile::read(directory).value(QStringLiteral("127.0.0.55NX-B93KPanSpeed")).toString(),
			 QStringLiteral("9"));

		// Once the file can be written again, the next change is stored and the warning goes.
		commitPan("10");
		QTRY_COMPARE(message(), QString());
		QCOMPARE(SettingsHome::read().value(QStringLiteral("127.0.0.55NX-B93KPanSpeed")).toString(),
			 QStringLiteral("10"));
	}

	// The focused control has a ring around it in the text colour, which stands out from the window.
	void focusShowsARing()
	{
		dialog->activateWindow();
		QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
		auto *ring = dialog->findChild<FocusRing *>();
		child<QWidget>("Camera3Button")->setFocus(Qt::TabFocusReason);
		QTRY_VERIFY(ring && ring->isVisible() && ring->target() == child<QWidget>("Camera3Button"));
		const QImage shown = dialog->grab().toImage();
		const QColor edge = shown.pixelColor(ring->geometry().center().x(), ring->geometry().top());
		QVERIFY(qAbs(edge.lightness() - shown.pixelColor(1, 1).lightness()) > 100);
	}

	void windowRemembersViewAndCamera()
	{
		dialog->findChild<QAction *>(QStringLiteral("AdvanceModeAction"))->trigger();
		// The View menu marks the view shown.
		QVERIFY(child<QAction>("AdvanceModeAction")->isChecked() &&
			!child<QAction>("SimpleModeAction")->isChecked());
		QVERIFY(connectSlot(1));
		dialog.reset();

		// Started again: the advanced view, and the camera in use connected in the background.
		dialog = std::make_unique<ControlledWindow>();
		dialog->show();
		QCOMPARE(dialog->size(), QSize(880, 692));
		QCOMPARE(dialog->connectingSlotNumber(), 1);
		QCOMPARE(message(), localeText("StatusConnecting")
					    .arg(QStringLiteral("Stage"), QString::fromLatin1(kCameraAddress)));
		QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>("Camera1Button")->isChecked(), 10000);

		// Let go of the camera and go back to the simple view: the next start connects nothing.
		dialog->findChild<QAction *>(QStringLiteral("SimpleModeAction"))->trigger();
		QTest::mouseClick(child<QPushButton>("Camera1Button"), Qt::LeftButton);
		QVERIFY(!child<QPushButton>("Camera1Button")->isChecked());
		dialog.reset();
		dialog = std::make_unique<ControlledWindow>();
		QCOMPARE(dialog->size(), QSize(425, 692));
		QCOMPARE(dialog->connectingSlotNumber(), 0);
	}

private:
	template <typename T>
	T *child(const char *name) const
	{
		return namedChild<T>(dialog.get(), QString::fromLatin1(name));
	}
	QString message() const { return child<QLabel>("MessageLabel")->text(); }
	bool connectSlot(int slot)
	{
		const bool connected = MainDialogTest::connectSlot(dialog.get(), slot);
		clearWhenQuiet(*camera);
		return connected;
	}
	SettingsHome home;
	std::unique_ptr<CameraSimulator> camera;
	std::unique_ptr<MainDialog> dialog;
};

QTEST_MAIN(tst_MainDialogUse)
#include "tst_MainDialogUse.moc"
