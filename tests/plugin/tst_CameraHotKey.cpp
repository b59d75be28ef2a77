// The camera hotkeys against the real libobs: registration and bindings restored from a profile's basic.ini,
// key events injected through the host's hotkey system arriving as hotKeysentTo, unregistration, the controller's
// handler turning them into camera commands on a simulated camera, and the "UseHotHeys" switch.
// Qt's umbrella header before OBS's: from OBS 30 on, obs.h maps the SSE intrinsics onto SIMDe's by macros, which
// breaks the compiler's own intrinsics headers when Qt includes them afterwards.
#include <QtTest>

#include "MainDialogTestSupport.h"
#include "plugin/CameraHotKey.h"
#include "integrations/HotkeySource.h"
#include "integrations/HotkeyTable.h"
#include "control/CameraWorker.h"

#include <obs.h>

#include <QAction>
#include <QPushButton>
#include <QSignalSpy>
#include <QThread>

#include <memory>
#include <thread>

namespace {

// The names are the keys of the bindings the host saves in its profile: an external interface. These fifteen rows
// are those of earlier versions, first and in this order; later rows follow them.
constexpr int kLegacyRows = 15;
const char *const kNames[kLegacyRows] = {"TiltUpHotKey",  "TiltDownHotKey", "PanLeftHotKey", "PanRightHotKey",
					 "ZoomInHotKey",  "ZoomOutHotKey",  "Preset1HotKey", "Preset2HotKey",
					 "Preset3HotKey", "Preset4HotKey",  "Preset5HotKey", "Preset6HotKey",
					 "Preset7HotKey", "Preset8HotKey",  "Preset9HotKey"};
// Keys bound in the test profile: F1..F6 for the motion and zoom rows, the digits for the presets.
obs_key_t boundKey(int index)
{
	static const obs_key_t keys[kLegacyRows] = {OBS_KEY_F1, OBS_KEY_F2, OBS_KEY_F3, OBS_KEY_F4, OBS_KEY_F5,
						    OBS_KEY_F6, OBS_KEY_1,  OBS_KEY_2,  OBS_KEY_3,  OBS_KEY_4,
						    OBS_KEY_5,  OBS_KEY_6,  OBS_KEY_7,  OBS_KEY_8,  OBS_KEY_9};
	return keys[index];
}

// One saved binding as text: the key name, then "+shift" etc. for each modifier, in the host's order.
QStringList savedBindings(obs_hotkey_id id)
{
	QStringList result;
	obs_data_array_t *array = obs_hotkey_save(id);
	for (size_t i = 0; i < obs_data_array_count(array); ++i) {
		obs_data_t *binding = obs_data_array_item(array, i);
		QString text = QString::fromUtf8(obs_data_get_string(binding, "key"));
		for (const char *modifier : {"shift", "control", "alt", "command"})
			if (obs_data_get_bool(binding, modifier))
				text += QLatin1Char('+') + QLatin1String(modifier);
		result << text;
		obs_data_release(binding);
	}
	obs_data_array_release(array);
	return result;
}

// The names of the host's hotkeys by their identifiers.
QHash<obs_hotkey_id, QString> registeredHotkeys()
{
	QHash<obs_hotkey_id, QString> found;
	obs_enum_hotkeys(
		[](void *data, obs_hotkey_id id, obs_hotkey_t *key) {
			static_cast<QHash<obs_hotkey_id, QString> *>(data)->insert(
				id, QString::fromUtf8(obs_hotkey_get_name(key)));
			return true;
		},
		&found);
	return found;
}

// The identifier the host gave the latest registration under a hotkey name, or OBS_INVALID_HOTKEY_ID.
obs_hotkey_id hostId(const char *name)
{
	obs_hotkey_id found = OBS_INVALID_HOTKEY_ID;
	const auto registered = registeredHotkeys();
	for (auto entry = registered.cbegin(); entry != registered.cend(); ++entry)
		if (*entry == QLatin1String(name) && (found == OBS_INVALID_HOTKEY_ID || entry.key() > found))
			found = entry.key();
	return found;
}

void inject(obs_key_t key, bool pressed, uint32_t modifiers = 0)
{
	obs_key_combination_t combination;
	combination.modifiers = modifiers;
	combination.key = key;
	obs_hotkey_inject_event(combination, pressed);
}

// Injects from a thread of its own, as the host's hotkey thread delivers events.
void injectFromAnotherThread(obs_key_t key, bool pressed, uint32_t modifiers = 0)
{
	std::thread worker([=] { inject(key, pressed, modifiers); });
	worker.join();
}

} // namespace

class tst_CameraHotKey : public QObject {
	Q_OBJECT

private:
	SettingsHome home;
	QTemporaryDir profile;
	QString basicIni;
	std::unique_ptr<CameraSimulator> sim;

	void writeBasicIni(const QByteArray &hotkeys)
	{
		QFile file(basicIni);
		QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
		file.write("[General]\nName=Untitled\n\n[Hotkeys]\n" + hotkeys + "\n[Output]\nMode=Simple\n");
	}

	// A controller window whose hotkey source is a CameraHotKey with the test profile's bindings, connected to the
	// simulated camera in slot 1; null when it did not connect.
	std::unique_ptr<MainDialog> connectedWindow()
	{
		HotkeySource::setFactory(
			[this](QObject *parent) -> HotkeySource * { return new CameraHotKey(parent, basicIni); });
		auto window = std::make_unique<ControlledWindow>();
		HotkeySource::setFactory(nullptr);
		return MainDialogTest::connectSlot(window.get(), 1) ? std::move(window) : nullptr;
	}

	// Every row bound to its test key.
	void bindAll()
	{
		QByteArray lines;
		for (int index = 0; index < kLegacyRows; ++index)
			lines += QByteArray(kNames[index]) + "={\"bindings\":[{\"key\":\"" +
				 obs_key_to_name(boundKey(index)) + "\"}]}\n";
		writeBasicIni(lines);
	}

private slots:
	void initTestCase()
	{
		QVERIFY(home.setUp());
		QVERIFY(loadLocale());
		QVERIFY(obs_startup("en-US", nullptr, nullptr));
		// OBS's front-end hands every key event to its UI thread; so do these tests.
		obs_hotkey_set_callback_routing_func(
			[](void *, obs_hotkey_id id, bool pressed) {
				QMetaObject::invokeMethod(
					qApp, [id, pressed] { obs_hotkey_trigger_routed_callback(id, pressed); },
					Qt::QueuedConnection);
			},
			nullptr);
		obs_hotkey_enable_callback_rerouting(true);
		QVERIFY(profile.isValid());
		basicIni = profile.filePath(QStringLiteral("basic.ini"));
		qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");

		// The window reaches a slot's camera on the VISCA port only, so the camera listens there.
		sim = startSimulatedCamera(QStringLiteral("127.0.0.86"), QStringLiteral("NX-J57"), 52381);
		QVERIFY(sim);
		MainDialogTest::installModalAnswerer();
	}

	void init()
	{
		MainDialogTest::removeSettings();
		MainDialogTest::boxTexts().clear();
	}

	void cleanupTestCase()
	{
		sim.reset();
		obs_shutdown();
		ModalBox::setAnswerer(nullptr);
		ModuleText::setLookup(nullptr);
	}

	// --- Registration ---

	// Fifteen rows registered in table order, so the host hands out rising identifiers, and unregistered in the
	// same order.
	void registersAndUnregistersInTableOrder()
	{
		writeBasicIni(QByteArray());
		const auto before = registeredHotkeys();
		struct Seen {
			QList<obs_hotkey_id> ids;
		} seen;
		signal_handler_t *handler = obs_get_signal_handler();
		const auto onUnregister = [](void *data, calldata_t *call) {
			if (auto *hotkey = static_cast<obs_hotkey_t *>(calldata_ptr(call, "key")))
				static_cast<Seen *>(data)->ids << obs_hotkey_get_id(hotkey);
		};
		QList<obs_hotkey_id> ids;
		{
			CameraHotKey hotkeys(nullptr, basicIni);
			const auto after = registeredHotkeys();
			QCOMPARE(after.size(), before.size() + HotkeySource::kHotkeyCount);
			for (int index = 0; index < kLegacyRows; ++index)
				QCOMPARE(HotkeyTable::row(index).name, QByteArray(kNames[index]));
			for (int index = 0; index < HotkeySource::kHotkeyCount; ++index) {
				ids << hostId(HotkeyTable::row(index).name.constData());
				QVERIFY(!before.contains(ids.last()) && (index == 0 || ids.last() > ids.at(index - 1)));
			}
			signal_handler_connect(handler, "hotkey_unregister", onUnregister, &seen);
		}
		signal_handler_disconnect(handler, "hotkey_unregister", onUnregister, &seen);
		QCOMPARE(seen.ids, ids);
		QCOMPARE(registeredHotkeys().size(), before.size());
	}

	void restoresBindingsFromTheProfile_data()
	{
		QTest::addColumn<QByteArray>("hotkeys"); // the "Hotkeys" section of basic.ini
		QTest::addColumn<int>("index");
		QTest::addColumn<QStringList>("bindings");

		const QByteArray profile = "TiltUpHotKey={\"bindings\":[{\"key\":\"OBS_KEY_F1\"}]}\n"
					   "PanLeftHotKey={\"bindings\":[{\"key\":\"OBS_KEY_F7\",\"shift\":true}]}\n"
					   "ZoomInHotKey={}\n"
					   "ZoomOutHotKey=not json at all\n"
					   "Preset4HotKey={\"bindings\":[{\"key\":\"OBS_KEY_4\"},"
					   "{\"key\":\"OBS_KEY_NUM4\",\"control\":true}]}\n"
					   "Preset9HotKey={\"bindings\":\"OBS_KEY_9\"}\n"
					   "Preset5HotKey={\"bindings\":[]}\n"
					   "SomeOtherPluginHotKey={\"bindings\":[{\"key\":\"OBS_KEY_F2\"}]}\n";
		QTest::newRow("one key") << profile << 0 << QStringList{"OBS_KEY_F1"};
		QTest::newRow("key with modifier") << profile << 2 << QStringList{"OBS_KEY_F7+shift"};
		QTest::newRow("two keys") << profile << 9 << QStringList{"OBS_KEY_4", "OBS_KEY_NUM4+control"};
		QTest::newRow("not JSON") << profile << 5 << QStringList{};
		QTest::newRow("bindings not an array") << profile << 14 << QStringList{};
		QTest::newRow("not in the profile") << profile << 1 << QStringList{};
		QTest::newRow("no Hotkeys section") << QByteArray("\n") << 0 << QStringList{};
	}

	void restoresBindingsFromTheProfile()
	{
		QFETCH(QByteArray, hotkeys);
		QFETCH(int, index);
		QFETCH(QStringList, bindings);
		writeBasicIni(hotkeys);
		CameraHotKey hotkey(nullptr, basicIni);
		QCOMPARE(savedBindings(hostId(kNames[index])), bindings);
	}

	void profileSwitchLoadsTheNewProfilesBindings()
	{
		bindAll();
		const QString firstProfile = basicIni;
		CameraHotKey hotkey(nullptr, [this] { return basicIni; });
		basicIni = profile.filePath(QStringLiteral("other-basic.ini"));
		writeBasicIni("TiltUpHotKey={\"bindings\":[{\"key\":\"OBS_KEY_F8\"}]}\n");
		CameraHotKey::frontendEventHandler(OBS_FRONTEND_EVENT_PROFILE_CHANGED, &hotkey);
		basicIni = firstProfile;
		// The new profile binds another key to the first row and none to the others.
		for (int index = 0; index < HotkeySource::kHotkeyCount; ++index)
			QCOMPARE(savedBindings(hostId(HotkeyTable::row(index).name.constData())),
				 index == 0 ? QStringList{"OBS_KEY_F8"} : QStringList());
	}

	void withoutAProfileStillRegisters()
	{
		// No front-end runs in the test, so the host has no profile path to give.
		const auto before = registeredHotkeys();
		{
			CameraHotKey hotkeys;
			QCOMPARE(registeredHotkeys().size(), before.size() + HotkeySource::kHotkeyCount);
			for (int index = 0; index < HotkeySource::kHotkeyCount; ++index)
				QVERIFY(savedBindings(hostId(HotkeyTable::row(index).name.constData())).isEmpty());
		}

		// A profile folder without a basic.ini (a fresh profile) is no error either.
		CameraHotKey fresh(nullptr, profile.filePath(QStringLiteral("missing/basic.ini")));
		QCOMPARE(registeredHotkeys().size(), before.size() + HotkeySource::kHotkeyCount);
	}

	// --- Events ---

	void keyEventsArriveAsSignals_data()
	{
		QTest::addColumn<int>("index");
		for (int index = 0; index < kLegacyRows; ++index)
			QTest::newRow(kNames[index]) << index;
	}

	void keyEventsArriveAsSignals()
	{
		QFETCH(int, index);
		bindAll();
		CameraHotKey hotkeys(nullptr, basicIni);
		QSignalSpy spy(&hotkeys, &HotkeySource::hotKeysentTo);
		// The receiver lives on this thread; events come from another one, like the host's hotkey thread.
		QObject receiver;
		QList<bool> onReceiverThread;
		connect(&hotkeys, &HotkeySource::hotKeysentTo, &receiver,
			[&](int, bool) { onReceiverThread << (QThread::currentThread() == receiver.thread()); });

		injectFromAnotherThread(boundKey(index), true);
		injectFromAnotherThread(boundKey(index), false);
		QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 5000);
		QCOMPARE(spy.at(0), QVariantList({index, true}));
		QCOMPARE(spy.at(1), QVariantList({index, false}));
		QTRY_COMPARE_WITH_TIMEOUT(onReceiverThread, QList<bool>({true, true}), 5000);
	}

	void unboundAndForeignKeysEmitNothing()
	{
		bindAll();
		CameraHotKey hotkeys(nullptr, basicIni);
		QSignalSpy spy(&hotkeys, &HotkeySource::hotKeysentTo);
		inject(OBS_KEY_F12, true);
		inject(OBS_KEY_F12, false);
		// An identifier that belongs to no row (another registrant's hotkey) emits nothing.
		CameraHotKey::hotkeyHandler(&hotkeys, hostId(kNames[14]) + 1000, nullptr, true);
		CameraHotKey::hotkeyHandler(&hotkeys, OBS_INVALID_HOTKEY_ID, nullptr, true);
		// A bound key afterwards arrives first: nothing was queued before it.
		inject(boundKey(3), true);
		QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 1, 5000);
		QCOMPARE(spy.at(0), QVariantList({3, true}));
	}

	// --- The controller's handler on a camera ---

	void hotkeysDriveTheCamera_data()
	{
		QTest::addColumn<int>("index");
		QTest::addColumn<QStringList>("payloads"); // what reaches the camera for a press and its release

		// Pan speed 5, tilt speed 6, zoom speed 3 stored for the camera.
		const QString stop = QStringLiteral("8101060105060303ff"), zoomStop = QStringLiteral("8101040700ff");
		QTest::newRow("tilt up") << 0 << QStringList{"8101060105060301ff", stop};
		QTest::newRow("tilt down") << 1 << QStringList{"8101060105060302ff", stop};
		QTest::newRow("pan left") << 2 << QStringList{"8101060105060103ff", stop};
		QTest::newRow("pan right") << 3 << QStringList{"8101060105060203ff", stop};
		QTest::newRow("zoom in") << 4 << QStringList{"8101040723ff", zoomStop};
		QTest::newRow("zoom out") << 5 << QStringList{"8101040733ff", zoomStop};
		// The presets' rows differ only in the number; the host's key events reach every row (above).
		QTest::newRow("preset 1, nothing on release") << 6 << QStringList{"8101043f0201ff"};
		QTest::newRow("preset 9, nothing on release") << 14 << QStringList{"8101043f0209ff"};
	}

	// The shipped path: host hotkey events reach the hotkey source of the window's controller, and the
	// controller's commands reach the camera the window connected.
	void hotkeysDriveTheCamera()
	{
		QFETCH(int, index);
		QFETCH(QStringList, payloads);

		bindAll();
		const QString address = sim->address().toString();
		const QString prefix = address + QStringLiteral("NX-J57");
		QJsonObject settings{{QStringLiteral("Camera1IP"), address},
				     {QStringLiteral("hotKey"), true},
				     {prefix + QStringLiteral("PanSpeed"), QStringLiteral("5")},
				     {prefix + QStringLiteral("TiltSpeed"), QStringLiteral("6")},
				     {prefix + QStringLiteral("ZoomSpeed"), QStringLiteral("3")}};
		SettingsHome::write(settings);
		const std::unique_ptr<MainDialog> window = connectedWindow();
		QVERIFY(window);
		// The preset panel's own selection must not leak into a hotkey call.
		QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("Preset3Button")), Qt::LeftButton);
		QVERIFY(MainDialogTest::cameraSettled(window.get()));
		QVERIFY(clearWhenQuiet(*sim));

		auto *source = window->controller()->findChild<HotkeySource *>();
		QVERIFY(qobject_cast<CameraHotKey *>(source));
		QSignalSpy heard(source, &HotkeySource::hotKeysentTo);
		// As OBS's front-end hands a key's press and release to its UI thread (an injected key event would be
		// let go by libobs's own hotkey thread at its next look at the real keyboard). Let go once the press
		// has reached the camera: a tap quicker than the camera would be its stop alone.
		const obs_hotkey_id id = hostId(HotkeyTable::row(index).name.constData());
		obs_hotkey_trigger_routed_callback(id, true);
		QTRY_COMPARE_WITH_TIMEOUT(distinctCommands(*sim).value(0), payloads.first(), 5000);
		obs_hotkey_trigger_routed_callback(id, false);
		QTRY_COMPARE_WITH_TIMEOUT(heard.count(), 2, 5000);
		// Both events are queued to the window by now; it runs them before the marker.
		QCoreApplication::processEvents();
		// A marker afterwards proves that nothing else was sent.
		QVERIFY(window->setCommand(CameraCommands::home(), 0));
		QVERIFY(MainDialogTest::cameraSettled(window.get()));
		QTRY_COMPARE_WITH_TIMEOUT(distinctCommands(*sim), payloads + QStringList{"81010604ff"}, 5000);
	}

	// A program triggering a hotkey by name (obs-websocket does it from its own thread) sends a press and no
	// release or one at once: the press acts as a tap, and the camera does not keep moving. Behind a preset call
	// that holds the camera longer than a tap lasts, the tap still moves it: its stop follows the move, not the
	// press.
	void aProgramsTriggerIsATap()
	{
		bindAll();
		SettingsHome::write(QJsonObject{{QStringLiteral("Camera1IP"), sim->address().toString()},
						{QStringLiteral("hotKey"), true}});
		const std::unique_ptr<MainDialog> window = connectedWindow();
		QVERIFY(window);
		QVERIFY(MainDialogTest::cameraSettled(window.get()));
		QVERIFY(clearWhenQuiet(*sim));
		QVERIFY(window->controller()->act(OperatorAction::CallPreset, true, 2));
		const obs_hotkey_id tiltUp = hostId(kNames[0]);
		// obs-websocket 5.5 (OBS 30) sends the release right after the press; earlier versions send none.
		std::thread([tiltUp] {
			obs_hotkey_trigger_routed_callback(tiltUp, true);
			obs_hotkey_trigger_routed_callback(tiltUp, false);
		}).join();
		QTRY_COMPARE_WITH_TIMEOUT(distinctCommands(*sim).size(), 3, 10000);
		QCOMPARE(distinctCommands(*sim).at(0), QStringLiteral("8101043f0202ff"));
		QVERIFY(distinctCommands(*sim).at(1).endsWith(QStringLiteral("0301ff")));
		QVERIFY(distinctCommands(*sim).at(2).endsWith(QStringLiteral("0303ff")));
		QTRY_COMPARE(sim->state().motion, SimCameraState::Motion::Stop);
	}

	// A row outside the table (the host never sends one, but a stale id could) and a press with no camera in use
	// do nothing.
	void rowsOutsideTheTableAndPressesWithoutACameraDoNothing()
	{
		HotkeySource::setFactory(nullptr);
		Controller controller(ControlledWindowSupport::options());
		controller.onHotkey(HotkeySource::kHotkeyCount, true);
		controller.onHotkey(-1, true);
		QVERIFY(!controller.act(OperatorAction::PanLeft, true));
		QVERIFY(!controller.act(OperatorAction::CallPreset, true, 4));
	}

	// --- The "UseHotHeys" switch ---

	// Read from the settings (a text is not a switched-on value), stored when triggered (every other key kept), and
	// it decides whether the host's hotkeys drive the camera in use: one
	// listener however often it is switched on.
	void switchDecidesWhetherHotkeysDrive()
	{
		QJsonObject settings{{QStringLiteral("Camera1IP"), sim->address().toString()},
				     {QStringLiteral("hotKey"), QStringLiteral("true")}};
		QVERIFY(Utils::writeJSONToFile(settings, Utils::getAppDataPath()));
		const std::unique_ptr<MainDialog> window = connectedWindow();
		QVERIFY(window);
		QVERIFY(MainDialogTest::cameraSettled(window.get()));
		QVERIFY(clearWhenQuiet(*sim));
		auto *action = window->findChild<QAction *>(QStringLiteral("UseHotKeysAction"));
		QVERIFY(action && action->isCheckable());
		QVERIFY(!action->isChecked());
		const auto storedSwitch = [] { return SettingsHome::read().value(QStringLiteral("hotKey")); };
		auto *source = window->controller()->findChild<HotkeySource *>();
		QVERIFY(source);
		const auto pressPresetFour = [source] {
			std::thread([source] { emit source->hotKeysentTo(9, true); }).join();
			QCoreApplication::processEvents();
		};

		pressPresetFour(); // off: nothing
		// Switching on reminds the operator, as information, that the keys are bound in the host's own
		// settings.
		ModalBox::setAnswerer([](QMessageBox &box) {
			MainDialogTest::boxTexts() << box.text() << QString::number(box.icon());
		});
		action->trigger(); // on
		MainDialogTest::installModalAnswerer();
		QCOMPARE(storedSwitch(), QJsonValue(true));
		QCOMPARE(SettingsHome::read().value(QStringLiteral("Camera1IP")),
			 QJsonValue(sim->address().toString()));
		QCOMPARE(MainDialogTest::boxTexts(),
			 QStringList({localeText("NeedToSetHotKeysInOBS"), QString::number(QMessageBox::Information)}));
		action->trigger(); // off
		QCOMPARE(storedSwitch(), QJsonValue(false));
		action->trigger(); // on again
		pressPresetFour();
		// A marker afterwards proves that nothing else was sent.
		QVERIFY(window->setCommand(CameraCommands::home(), 0));
		QVERIFY(MainDialogTest::cameraSettled(window.get()));
		QTRY_COMPARE_WITH_TIMEOUT(distinctCommands(*sim), (QStringList{"8101043f0204ff", "81010604ff"}), 5000);
	}
};

QTEST_MAIN(tst_CameraHotKey)
#include "tst_CameraHotKey.moc"
