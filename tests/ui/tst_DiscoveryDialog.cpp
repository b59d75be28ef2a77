// The slot assignment dialog: its form, filling the edits from the settings, Apply's checks and what it stores
// and signals, and searches against a fleet of simulated cameras. Every Probe goes to a loopback address named by
// KAVREN_DISCOVERY_ADDRESS; none may ever reach the broadcast or multicast address.

#include "FakeSceneSource.h"
#include "MainDialogTestSupport.h"
#include "ui/DiscoveryDialog.h"
#include "discovery/OnvifDiscovery.h"

#include "SimFleet.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QSpinBox>
#include <QtTest>

#include <utility>

#include <memory>

using namespace MainDialogTest;

namespace {

// Addresses of this test; the discovery client's test uses 127.0.0.70 to 127.0.0.74.
const char *const kFleetFirst = "127.0.0.75";
const char *const kNobody = "127.0.0.79";

// The dialog's controls as the operator meets them.
struct Form {
	explicit Form(QWidget *dialog)
	    : combo(namedChild<QComboBox>(dialog, "CameraComboBox")), ipEdit(namedChild<QLineEdit>(dialog, "IPEidt")),
	      nameEdit(namedChild<QLineEdit>(dialog, "NameEdit")),
	      apply(namedChild<QPushButton>(dialog, "ApplyButton")),
	      table(namedChild<QTableWidget>(dialog, "IPTableWidget"))
	{
	}
	QComboBox *combo;
	QLineEdit *ipEdit;
	QLineEdit *nameEdit;
	QPushButton *apply;
	QTableWidget *table;
};

} // namespace

class tst_DiscoveryDialog : public QObject {
	Q_OBJECT

private:
	SettingsHome home;
	std::unique_ptr<SimFleet> fleet;

	static QStringList rows(QTableWidget *table)
	{
		QStringList out;
		for (int row = 0; row < table->rowCount(); ++row) {
			const QTableWidgetItem *ip = table->item(row, 0);
			const QTableWidgetItem *name = table->item(row, 1);
			out << (ip ? ip->text() : QStringLiteral("<none>")) + QLatin1Char('=') +
					(name ? name->text() : QStringLiteral("<none>"));
		}
		return out;
	}

	// Every search of this test goes to one loopback address; this refuses anything else before a Probe leaves.
	static bool aimAt(const char *address)
	{
		qputenv(OnvifDiscovery::kAddressVariable, address);
		const QList<QHostAddress> destinations = OnvifDiscovery::probeDestinations();
		return destinations.size() == 1 && destinations.first().isLoopback();
	}

	static void clickCell(QTableWidget *table, int row, int column)
	{
		const QRect rect = table->visualItemRect(table->item(row, column));
		QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
	}

private slots:
	void initTestCase()
	{
		// Before any dialog exists: no Probe of this test may leave the machine.
		QVERIFY(aimAt(kFleetFirst));
		QVERIFY(home.setUp());
		qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
		QVERIFY(loadLocale());
		installModalAnswerer();

		// Cameras of three identification families announcing in three answer styles, and one that answers
		// discovery but never a VISCA inquiry.
		SimFleet::Options options;
		options.cameras = SimFleet::consecutive(4, QHostAddress(QString::fromLatin1(kFleetFirst)),
							{"NX-B93K", "NX-D26G", "NX-W38B", "NX-HX7"});
		options.cameras[0].name = QStringLiteral("Studio Left");
		options.cameras[1].name = QStringLiteral("Studio-Right");
		options.cameras[3].name = QStringLiteral("Balcony");
		fleet = std::make_unique<SimFleet>(options);
		QString error;
		QVERIFY2(fleet->start(&error), qPrintable(error));
		fleet->camera(2).setSilent(true);
	}

	void init()
	{
		QVERIFY(aimAt(kFleetFirst));
		removeSettings();
		boxTexts().clear();
	}

	void cleanupTestCase()
	{
		ModalBox::setAnswerer(nullptr);
		ModuleText::setLookup(nullptr);
		fleet.reset();
	}

	void slotFill_data()
	{
		QTest::addColumn<QByteArray>("settings");
		QTest::addColumn<int>("slot");
		QTest::addColumn<QString>("ip");
		QTest::addColumn<QString>("name");

		const auto row = [](const char *name, const char *json, int slot, const char *ip, const char *caption) {
			QTest::newRow(name) << QByteArray(json) << slot << QString(ip) << QString(caption);
		};
		row("first slot filled at construction", R"({"Camera1IP": "10.0.0.1", "Camera1NickName": "One"})", 0,
		    "10.0.0.1", "One");
		row("address only: the slot's caption is the name", R"({"Camera5IP": "10.0.0.5"})", 4, "10.0.0.5",
		    "Camera 5");
		row("name only", R"({"Camera8NickName": "Roof"})", 7, "", "Roof");
		row("no settings file", nullptr, 6, "", "Camera 7");
		row("another slot's keys are not used", R"({"Camera1IP": "10.0.0.1", "Camera1NickName": "One"})", 1, "",
		    "Camera 2");
		row("the prefix has no space", R"({"Camera 6IP": "10.0.0.6", "Camera 6NickName": "Six"})", 5, "",
		    "Camera 6");
	}

	void slotFill()
	{
		QFETCH(QByteArray, settings);
		QFETCH(int, slot);
		QFETCH(QString, ip);
		QFETCH(QString, name);
		if (!settings.isNull())
			QVERIFY(writeSettingsText(settings));

		DiscoveryDialog dialog;
		const Form form(&dialog);
		if (slot != 0) {
			// Leftovers of the previously shown slot must be replaced, not kept.
			form.ipEdit->setText(QStringLiteral("stale"));
			form.nameEdit->setText(QStringLiteral("stale"));
			form.combo->setCurrentIndex(slot);
		}
		QCOMPARE(form.ipEdit->text(), ip);
		QCOMPARE(form.nameEdit->text(), name);
		QVERIFY(boxTexts().isEmpty());
	}

	void apply_data()
	{
		QTest::addColumn<int>("slot");
		QTest::addColumn<QString>("ip");
		QTest::addColumn<QString>("name");
		QTest::addColumn<QByteArray>("outcome"); // the status line's text; empty: refused with a box

		const auto row = [](const char *name, int slot, const char *ip, const char *caption,
				    const char *outcome) {
			QTest::newRow(name) << slot << QString(ip) << QString(caption) << QByteArray(outcome);
		};
		row("private address", 2, "10.0.0.1", "Stage", "AssignStored");
		row("loopback, last slot, spaces round it", 7, " 127.0.0.75 ", "Studio Left ", "AssignStored");
		row("first slot renamed", 0, "192.168.1.20", "Front%20Cam", "AssignStored");
		row("its own address again", 0, "10.1.1.1", "Old", "AssignStored");
		row("another slot's address", 2, "10.1.1.1", "Stage", "AssignDuplicate");
		row("empty address: the slot is cleared", 0, "", "Old", "AssignCleared");
		// One refused address: the address rules are CameraAddress's, and its own test holds them.
		row("octet over 255", 2, "192.168.1.300", "Stage", "");
		row("empty name", 2, "10.0.0.1", "", "");
	}

	void apply()
	{
		QFETCH(int, slot);
		QFETCH(QString, ip);
		QFETCH(QString, name);
		QFETCH(QByteArray, outcome);
		// What is stored and said: a space round what was typed is no part of it.
		const QString typedIp = std::exchange(ip, ip.trimmed());
		const QString typedName = std::exchange(name, name.trimmed());
		const QByteArray before = R"({"1": "Wide", "Camera1IP": "10.1.1.1", "Camera1NickName": "Old",
			"127.0.0.75NX-B93KPanSpeed": "9", "hotKey": true})";
		QVERIFY(writeSettingsText(before));

		// Opened on the slot the operator uses.
		DiscoveryDialog dialog(nullptr, nullptr, slot + 1);
		QSignalSpy assigned(&dialog, &DiscoveryDialog::ipAssigned);
		const Form form(&dialog);
		QCOMPARE(form.combo->currentIndex(), slot);
		form.ipEdit->clear();
		form.nameEdit->clear();
		QTest::keyClicks(form.ipEdit, typedIp);
		QTest::keyClicks(form.nameEdit, typedName);
		QTest::mouseClick(form.apply, Qt::LeftButton);

		if (outcome.isEmpty()) {
			QCOMPARE(boxTexts(), QStringList(localeText("CameraAssignError")));
			QCOMPARE(assigned.count(), 0);
			QCOMPARE(settingsText(), before);
			return;
		}
		auto *status = namedChild<QLabel>(&dialog, "StatusLabel");
		if (outcome == "AssignDuplicate") {
			// Said in the dialog, naming the slot that has the camera, and stored only at a second Apply.
			QCOMPARE(status->text(),
				 localeText(outcome).arg(ip, QStringLiteral("1"), QStringLiteral("Old")));
			QCOMPARE(assigned.count(), 0);
			QCOMPARE(settingsText(), before);
			QTest::mouseClick(form.apply, Qt::LeftButton);
		}
		QCOMPARE(status->text(), ip.isEmpty() ? localeText("AssignCleared").arg(slot + 1)
						      : localeText("AssignStored").arg(QString::number(slot + 1), ip));
		QVERIFY(boxTexts().isEmpty());
		QCOMPARE(assigned.count(), 1);
		QCOMPARE(assigned.first(), QVariantList({slot, ip, name}));
		const QString slotText = QStringLiteral("Camera%1").arg(slot + 1);
		QJsonObject expected = QJsonDocument::fromJson(before).object();
		for (const auto &[key, value] :
		     {std::make_pair(slotText + "IP", ip), std::make_pair(slotText + "NickName", name)})
			value.isEmpty() ? void(expected.remove(key)) : void(expected.insert(key, value));
		// Read, change the two keys, write back: everything else in the file survives.
		QCOMPARE(SettingsHome::read(), expected);
	}

	// A source OBS no longer has is shown as such and kept; a hostile name is shown harmlessly and stored as it is.
	void linkedSource()
	{
		const QString hostile = QStringLiteral("C\nB") + QString(10000, QLatin1Char('W'));
		FakeSceneSource sources;
		sources.videoSources << hostile;
		SettingsHome::write({{"Camera1IP", "10.1.1.1"}, {"Camera1NickName", "One"}, {"Camera1Source", "Gone"}});
		DiscoveryDialog dialog(&sources);
		auto *list = namedChild<QComboBox>(&dialog, "SourceComboBox");
		auto *apply = namedChild<QPushButton>(&dialog, "ApplyButton");
		QCOMPARE(list->currentText(), localeText("AssignSourceMissing").arg(QStringLiteral("Gone")));
		QTest::mouseClick(apply, Qt::LeftButton);
		QCOMPARE(SettingsHome::read().value("Camera1Source").toString(), QStringLiteral("Gone"));
		list->setCurrentIndex(list->findData(hostile));
		QVERIFY(list->currentText().startsWith(QLatin1String("C\\x0aB")) && list->currentText().size() < 100);
		QTest::mouseClick(apply, Qt::LeftButton);
		QCOMPARE(SettingsHome::read().value("Camera1Source").toString(), hostile);
	}

	// The slot's dialect: shown as stored, its usual port when chosen by hand, stored on Apply; the usual dialect
	// on its own port leaves no key, as files from before there was a choice.
	void dialectIsStoredWithTheSlot()
	{
		SettingsHome::write({{"Camera2IP", "10.1.1.2"},
				     {"Camera2NickName", "Two"},
				     {"Camera2Dialect", "visca-udp"},
				     {"Camera2Port", 4000}});
		DiscoveryDialog dialog(nullptr, nullptr, 2);
		auto *dialect = namedChild<QComboBox>(&dialog, "DialectComboBox");
		auto *port = namedChild<QSpinBox>(&dialog, "PortSpinBox");
		QCOMPARE(dialect->currentData().toInt(), int(CameraDialect::BareUdp));
		QCOMPARE(port->value(), 4000);

		dialect->setCurrentIndex(dialect->findData(int(CameraDialect::BareTcp)));
		emit dialect->activated(dialect->currentIndex());
		QCOMPARE(port->value(), 5678);
		QTest::mouseClick(Form(&dialog).apply, Qt::LeftButton);
		QCOMPARE(SettingsHome::read().value("Camera2Dialect").toString(), QStringLiteral("visca-tcp"));
		QVERIFY(!SettingsHome::read().contains("Camera2Port"));

		dialect->setCurrentIndex(dialect->findData(int(CameraDialect::ViscaOverIp)));
		emit dialect->activated(dialect->currentIndex());
		QTest::mouseClick(Form(&dialog).apply, Qt::LeftButton);
		QVERIFY(!SettingsHome::read().contains("Camera2Dialect"));
		QVERIFY(!SettingsHome::read().contains("Camera2Port"));
		QCOMPARE(SettingsHome::read().value("Camera2IP").toString(), QStringLiteral("10.1.1.2"));
	}

	void unreadableSettings()
	{
		QVERIFY(writeSettingsText(R"({"Camera2IP": "10.0.0.2", "Camera2NickName": "Two"})"));
		DiscoveryDialog dialog;
		const auto [combo, ipEdit, nameEdit, apply, table] = Form(&dialog);
		combo->setCurrentIndex(1);
		QCOMPARE(ipEdit->text(), QStringLiteral("10.0.0.2"));

		QVERIFY(blockSettings());
		combo->setCurrentIndex(3);
		QCOMPARE(ipEdit->text(), QStringLiteral("10.0.0.2"));
		QCOMPARE(nameEdit->text(), QStringLiteral("Two"));

		QSignalSpy assigned(&dialog, &DiscoveryDialog::ipAssigned);
		QTest::mouseClick(apply, Qt::LeftButton);
		// The main dialog still learns of the assignment; nothing is shown to the operator.
		QVERIFY(boxTexts().isEmpty());
		QCOMPARE(assigned.count(), 1);
		QCOMPARE(assigned.first(), QVariantList({3, QStringLiteral("10.0.0.2"), QStringLiteral("Two")}));
	}

	void searchAssignAndClose()
	{
		QPointer<DiscoveryDialog> dialog = new DiscoveryDialog;
		// The way the main dialog opens it.
		dialog->setAttribute(Qt::WA_DeleteOnClose);
		dialog->show();
		QVERIFY(QTest::qWaitForWindowExposed(dialog));
		QSignalSpy assigned(dialog.data(), &DiscoveryDialog::ipAssigned);
		const auto [combo, ipEdit, nameEdit, apply, table] = Form(dialog);
		auto *search = namedChild<QPushButton>(dialog, "SearchButton");

		// The search runs off the UI thread: rows appear while it goes on, and the button waits for its end.
		QTest::mouseClick(search, Qt::LeftButton);
		QVERIFY(!search->isEnabled());
		QCOMPARE(search->text(), localeText("Searching").arg(0));
		QTRY_VERIFY_WITH_TIMEOUT(table->rowCount() > 0, 10000);
		QVERIFY(dialog->isSearching());
		QVERIFY(!search->isEnabled());
		QTRY_VERIFY_WITH_TIMEOUT(!dialog->isSearching(), 10000);
		QVERIFY(search->isEnabled());
		QCOMPARE(search->text(), localeText("Search"));
		// The camera that answers no inquiry is not listed; names are listed as announced.
		QCOMPARE(rows(table),
			 QStringList({"127.0.0.75=Studio%20Left", "127.0.0.76=Studio-Right", "127.0.0.78=Balcony"}));

		// A second search replaces the list.
		fleet->camera(1).setSilent(true);
		QTest::mouseClick(search, Qt::LeftButton);
		QCOMPARE(table->rowCount(), 0);
		QTRY_VERIFY_WITH_TIMEOUT(!dialog->isSearching(), 10000);
		fleet->camera(1).setSilent(false);
		QCOMPARE(rows(table), QStringList({"127.0.0.75=Studio%20Left", "127.0.0.78=Balcony"}));

		// Pick a found camera for slot 4: its address and name fill the fields; the operator renames it.
		combo->setCurrentIndex(3);
		clickCell(table, 1, 1);
		QCOMPARE(ipEdit->text(), QStringLiteral("127.0.0.78"));
		QCOMPARE(nameEdit->text(), QStringLiteral("Balcony"));
		nameEdit->clear();
		QTest::keyClicks(nameEdit, QStringLiteral("Balcony Wide"));
		QTest::mouseClick(apply, Qt::LeftButton);
		QVERIFY(boxTexts().isEmpty());
		QCOMPARE(assigned.count(), 1);
		QCOMPARE(assigned.first(),
			 QVariantList({3, QStringLiteral("127.0.0.78"), QStringLiteral("Balcony Wide")}));
		QCOMPARE(SettingsHome::read().value(QStringLiteral("Camera4IP")).toString(),
			 QStringLiteral("127.0.0.78"));
		QCOMPARE(SettingsHome::read().value(QStringLiteral("Camera4NickName")).toString(),
			 QStringLiteral("Balcony Wide"));
		// The dialog stays open after Apply, and the slot list shows the new caption.
		QVERIFY(dialog->isVisible());
		QCOMPARE(combo->itemText(3), QStringLiteral("Balcony Wide"));
		QCOMPARE(combo->currentIndex(), 3);

		// Nobody answers: the list empties and says so, without a box.
		QVERIFY(aimAt(kNobody));
		QTest::mouseClick(search, Qt::LeftButton);
		QTRY_VERIFY_WITH_TIMEOUT(!dialog->isSearching(), 10000);
		QCOMPARE(table->rowCount(), 0);
		QCOMPARE(namedChild<QLabel>(dialog, "ListLabel")->text(), localeText("NoCamerasFound"));
		QVERIFY(boxTexts().isEmpty());

		// Closing in the middle of a search ends it: the dialog goes, with its threads.
		QVERIFY(aimAt(kFleetFirst));
		QTest::mouseClick(search, Qt::LeftButton);
		QCOMPARE(namedChild<QLabel>(dialog, "ListLabel")->text(), localeText("IPCameraList"));
		QTRY_VERIFY_WITH_TIMEOUT(table->rowCount() > 0, 10000);
		QVERIFY(dialog->isSearching());
		QTest::mouseClick(namedChild<QPushButton>(dialog, "CloseButton"), Qt::LeftButton);
		QTRY_VERIFY(dialog.isNull());
	}
};

QTEST_MAIN(tst_DiscoveryDialog)
#include "tst_DiscoveryDialog.moc"
