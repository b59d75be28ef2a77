// The pan/tilt limit dialog and the controller window's handling of it: the accepted angles, the two switches,
// the triggered() reports, and what reaches a simulated camera and the settings file for each of them.
#include "MainDialogTestSupport.h"
#include "camera/viscaGeneralOps.h"
#include "settings/Utils.h"
#include "settings/ModuleText.h"
#include "ui/PanTiltLimitController.h"
#include "ui/PanTiltLimitSettingDialog.h"
#include "camera/ViscaIPFactory.h"
#include "visca/viscaIpModule.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QValidator>
#include <QtTest>

#include <memory>

using Dialog = PanTiltLimitSettingDialog;
Q_DECLARE_METATYPE(Dialog::CommandType)

namespace {

const QString kProfileDir = QStringLiteral(KAVREN_SOURCE_DIR "/data/ini/");
const char *const kJ57Address = "127.0.0.81";
const char *const kD26GAddress = "127.0.0.82";

void writeSettings(const QJsonObject &object)
{
	MainDialogTest::SettingsHome::write(object);
}

QJsonObject readSettings()
{
	return MainDialogTest::SettingsHome::read();
}

QString hexText(const QByteArray &data)
{
	return QString::fromLatin1(data.toHex(' ').toUpper());
}

// The VISCA payloads a simulator received, a resend of the identical datagram counted once: the link resends a
// command whose acknowledgement came late, and that is no second command.
QStringList distinctPayloads(const CameraSimulator &sim)
{
	QStringList payloads;
	QByteArray previous;
	for (const QByteArray &datagram : sim.received()) {
		if (datagram != previous)
			payloads << hexText(datagram.mid(8));
		previous = datagram;
	}
	return payloads;
}

QLineEdit *limitField(QWidget *dialog, Dialog::CommandType type)
{
	static const char *const names[] = {"TiltUpLimitEdit", "PanLeftLimitEdit", "TiltDownLimitEdit",
					    "PanRightLimitEdit"};
	return dialog->findChild<QLineEdit *>(QString::fromLatin1(names[type]));
}

// Text and state of the four fields, up, left, down, right: "45 on, -30 on, ...".
QString fieldStates(QWidget *dialog)
{
	QStringList states;
	for (auto type : {Dialog::TiltUp, Dialog::PanLeft, Dialog::TiltDown, Dialog::PanRight}) {
		const QLineEdit *field = limitField(dialog, type);
		states << field->text() + (field->isEnabled() ? QStringLiteral(" on") : QStringLiteral(" off"));
	}
	return states.join(QStringLiteral(", "));
}

QPushButton *button(QWidget *dialog, const char *name)
{
	return dialog->findChild<QPushButton *>(QString::fromLatin1(name));
}

struct Trigger {
	Dialog::CommandType type;
	int value;
	bool operator==(const Trigger &other) const { return type == other.type && value == other.value; }
};

QList<Trigger> triggers(const QSignalSpy &spy)
{
	QList<Trigger> list;
	for (const QList<QVariant> &args : spy)
		list << Trigger{args.at(0).value<Dialog::CommandType>(), args.at(1).toInt()};
	return list;
}

} // namespace

namespace QTest {
template <>
char *toString(const Trigger &trigger)
{
	return qstrdup(QByteArray::number(int(trigger.type)).append(':').append(QByteArray::number(trigger.value)));
}
} // namespace QTest

class tst_PanTiltLimitSettingDialog : public QObject {
	Q_OBJECT

private:
	std::unique_ptr<CameraSimulator> j57;
	std::unique_ptr<CameraSimulator> d26g;

	static std::unique_ptr<CameraSimulator> startCamera(const char *address, const char *model)
	{
		return startSimulatedCamera(QString::fromLatin1(address), QString::fromLatin1(model));
	}

	CameraSimulator *camera(const QString &model)
	{
		return model == QLatin1String("NX-D26G") ? d26g.get() : j57.get();
	}

private slots:
	void initTestCase()
	{
		QStandardPaths::setTestModeEnabled(true);
		QVERIFY(loadLocale());
		j57 = startCamera(kJ57Address, "NX-J57");
		d26g = startCamera(kD26GAddress, "NX-D26G");
		QVERIFY(j57);
		QVERIFY(d26g);
	}

	void init()
	{
		QDir(Utils::getAppDataPath()).removeRecursively();
		QFile::remove(Utils::getAppDataPath());
		QVERIFY(clearWhenQuiet(*j57));
		QVERIFY(clearWhenQuiet(*d26g));
	}

	void cleanupTestCase()
	{
		QDir(Utils::getAppDataPath()).removeRecursively();
		QFile::remove(Utils::getAppDataPath());
		ModuleText::setLookup(nullptr);
	}

	// --- The form ---

	void fieldsAcceptOnlyTheirRange_data()
	{
		QTest::addColumn<Dialog::CommandType>("type");
		QTest::addColumn<QString>("text");
		QTest::addColumn<bool>("accepted");

		const struct {
			Dialog::CommandType type;
			const char *side;
			QStringList accepted;
			QStringList refused;
		} sides[] = {
			{Dialog::PanRight,
			 "pan right",
			 {"0", "7", "99", "120", "169", "170"},
			 {"171", "200", "-5", "-0", "05", "00", "1700", "+5", " 5", "", "a"}},
			{Dialog::PanLeft,
			 "pan left",
			 {"0", "-0", "-1", "-30", "-99", "-169", "-170"},
			 {"30", "-171", "-05", "-00", "-", "--5", "1", "", "- 5"}},
			{Dialog::TiltUp, "tilt up", {"0", "5", "45", "89", "90"}, {"91", "99", "05", "-1", "900", ""}},
			{Dialog::TiltDown,
			 "tilt down",
			 {"0", "-0", "-3", "-29", "-30"},
			 {"-31", "-40", "5", "30", "-03", "-300", ""}},
		};
		for (const auto &side : sides) {
			for (const QString &text : side.accepted)
				QTest::addRow("%s accepts \"%s\"", side.side, qPrintable(text))
					<< side.type << text << true;
			for (const QString &text : side.refused)
				QTest::addRow("%s refuses \"%s\"", side.side, qPrintable(text))
					<< side.type << text << false;
		}
	}

	void fieldsAcceptOnlyTheirRange()
	{
		QFETCH(Dialog::CommandType, type);
		QFETCH(QString, text);
		QFETCH(bool, accepted);

		// Shown, so that Return reaches the dialog's default-button handling as it does for the operator.
		Dialog dialog;
		dialog.show();
		QSignalSpy spy(&dialog, &Dialog::triggered);
		QTest::mouseClick(button(&dialog, "PanTiltLimitButton"), Qt::LeftButton);
		spy.clear();
		QLineEdit *field = limitField(&dialog, type);
		QVERIFY(field);
		QVERIFY(field->isEnabled());
		QVERIFY(field->validator());
		QString probe = text;
		int position = probe.size();
		QCOMPARE(field->validator()->validate(probe, position) == QValidator::Acceptable, accepted);

		// Only an accepted angle can be confirmed with Return, and it arrives as the number typed.
		field->setText(text);
		QTest::keyClick(field, Qt::Key_Return);
		if (accepted)
			QCOMPARE(triggers(spy), QList<Trigger>({{type, text.toInt()}}));
		else
			QCOMPARE(spy.count(), 0);
	}

	void switchesReportAndGateTheFields()
	{
		Dialog dialog;
		QSignalSpy spy(&dialog, &Dialog::triggered);
		QPushButton *limits = button(&dialog, "PanTiltLimitButton");
		QPushButton *comp = button(&dialog, "PTZSpeedCompButton");
		QVERIFY(limits && comp);
		QVERIFY(limits->isCheckable() && comp->isCheckable());
		QVERIFY(!limits->isChecked() && !comp->isChecked());

		// A new dialog starts off; stored limits fill the fields but leave them shut until the switch is on.
		dialog.setLastLimit(QStringLiteral("-30"), QStringLiteral("120"), QStringLiteral("45"),
				    QStringLiteral("-5"));
		QCOMPARE(fieldStates(&dialog), QStringLiteral("45 off, -30 off, -5 off, 120 off"));

		QTest::mouseClick(limits, Qt::LeftButton);
		QCOMPARE(fieldStates(&dialog), QStringLiteral("45 on, -30 on, -5 on, 120 on"));

		QTest::mouseClick(comp, Qt::LeftButton);
		QTest::mouseClick(comp, Qt::LeftButton);
		QTest::mouseClick(limits, Qt::LeftButton);
		QCOMPARE(fieldStates(&dialog), QStringLiteral(" off,  off,  off,  off"));
		QCOMPARE(triggers(spy), QList<Trigger>({{Dialog::LimitSwitch, 1},
							{Dialog::SpeedComp, 1},
							{Dialog::SpeedComp, 0},
							{Dialog::LimitSwitch, 0}}));

		// A disabled switch cannot be toggled by the operator.
		spy.clear();
		dialog.setEnabledPTZSpeedComp(false);
		dialog.setEnabledPanTiltLimitButton(false);
		QTest::mouseClick(comp, Qt::LeftButton);
		QTest::mouseClick(limits, Qt::LeftButton);
		QCOMPARE(spy.count(), 0);
		dialog.setEnabledPanTiltLimitButton(true);
		QTest::mouseClick(limits, Qt::LeftButton);
		QCOMPARE(triggers(spy), QList<Trigger>({{Dialog::LimitSwitch, 1}}));
	}

	void switchesAreNamed()
	{
		Dialog dialog;
		// The switches are pictures only: their names for screen readers come from the locale file.
		for (auto entry : {std::make_pair("PanTiltLimitButton", "PanTiltLimitSwitch"),
				   std::make_pair("PTZSpeedCompButton", "PTZSpeedCompSwitch")}) {
			QPushButton *sw = button(&dialog, entry.first);
			QVERIFY(!localeText(entry.second).isEmpty());
			QCOMPARE(sw->accessibleName(), localeText(entry.second));
			QCOMPARE(sw->toolTip(), localeText(entry.second));
			QVERIFY(sw->text().isEmpty());
		}
	}

	// --- The controller window's handler ---

	void limitCommandsReachTheCamera_data()
	{
		QTest::addColumn<QString>("model");
		QTest::addColumn<Dialog::CommandType>("type");
		QTest::addColumn<int>("value");
		QTest::addColumn<QStringList>("payloads");
		QTest::addColumn<QString>("storedKey"); // empty: nothing stored

		// Positions from the profiles' limit ranges: J57 pan 0..0990 / F670..FFFF, D26G pan 0..0DE0 /
		// F220..FFFF, both tilt 0..0510 / FE70..FFFF. The other coordinate of the corner is the link's initial
		// one (0 for right and up, FFFF for left and down).
		const QString j57 = QStringLiteral("NX-J57");
		const QString d26 = QStringLiteral("NX-D26G");
		auto row = [](const char *name, const QString &model, Dialog::CommandType type, int value,
			      QStringList payloads, const char *key) {
			QTest::newRow(name) << model << type << value << payloads << QString::fromLatin1(key);
		};
		row("J57 pan right 120", j57, Dialog::PanRight, 120, {"81 01 06 07 00 01 00 06 0C 01 00 00 00 00 FF"},
		    "PanRightLimit");
		row("J57 pan right 170 is the maximum", j57, Dialog::PanRight, 170,
		    {"81 01 06 07 00 01 00 09 09 00 00 00 00 00 FF"}, "PanRightLimit");
		row("J57 pan right 0 is the minimum", j57, Dialog::PanRight, 0,
		    {"81 01 06 07 00 01 00 00 00 00 00 00 00 00 FF"}, "PanRightLimit");
		row("J57 pan left -30", j57, Dialog::PanLeft, -30, {"81 01 06 07 00 00 0F 0E 05 00 0F 0F 0F 0F FF"},
		    "PanLeftLimit");
		row("J57 pan left -170", j57, Dialog::PanLeft, -170, {"81 01 06 07 00 00 0F 06 07 00 0F 0F 0F 0F FF"},
		    "PanLeftLimit");
		row("J57 tilt up 45", j57, Dialog::TiltUp, 45, {"81 01 06 07 00 01 00 00 00 00 00 02 08 09 FF"},
		    "TiltUpLimit");
		row("J57 tilt up 90", j57, Dialog::TiltUp, 90, {"81 01 06 07 00 01 00 00 00 00 00 05 01 00 FF"},
		    "TiltUpLimit");
		row("J57 tilt down -1", j57, Dialog::TiltDown, -1, {"81 01 06 07 00 00 0F 0F 0F 0F 0F 0F 0F 03 FF"},
		    "TiltDownLimit");
		row("J57 tilt down -30", j57, Dialog::TiltDown, -30, {"81 01 06 07 00 00 0F 0F 0F 0F 0F 0E 07 0A FF"},
		    "TiltDownLimit");
		row("D26G pan right 120", d26, Dialog::PanRight, 120, {"81 01 06 07 00 01 00 09 0C 0D 00 00 00 00 FF"},
		    "PanRightLimit");
		row("D26G pan left -170", d26, Dialog::PanLeft, -170, {"81 01 06 07 00 00 0F 02 02 00 0F 0F 0F 0F FF"},
		    "PanLeftLimit");
		row("J57 speed compensation on", j57, Dialog::SpeedComp, 1, {"81 01 06 1F 01 01 FF"}, "");
		row("J57 speed compensation off", j57, Dialog::SpeedComp, 0, {"81 01 06 1F 01 00 FF"}, "");
		row("D26G speed compensation on", d26, Dialog::SpeedComp, 1, {"81 01 7E 03 03 01 FF"}, "");
		row("limit switch off clears both corners", j57, Dialog::LimitSwitch, 0,
		    {"81 01 06 07 01 01 07 0F 0F 0F 07 0F 0F 0F FF", "81 01 06 07 01 00 07 0F 0F 0F 07 0F 0F 0F FF"},
		    "");
		row("limit switch on sends nothing", j57, Dialog::LimitSwitch, 1, {}, "");
	}

	void limitCommandsReachTheCamera()
	{
		QFETCH(QString, model);
		QFETCH(Dialog::CommandType, type);
		QFETCH(int, value);
		QFETCH(QStringList, payloads);
		QFETCH(QString, storedKey);

		CameraSimulator *sim = camera(model);
		viscaGeneralOps ops(model.toStdString(), (kProfileDir + model + QStringLiteral(".ini")).toStdString());
		QVERIFY(ops.isValid());
		std::unique_ptr<viscaIpModule> link(ViscaIPFactory::viscaIPModule(model));
		QVERIFY(link->onConnectToCamera(sim->address().toString(), sim->port()));
		const QString prefix = sim->address().toString() + QString::fromStdString(ops.getNAME());
		writeSettings({{QStringLiteral("Camera1IP"), sim->address().toString()}});
		sim->clearReceived();

		int wrapped = 0;
		PanTiltLimitController::runCommand(type, value, &ops, prefix, [&](const CameraCommand &command, int v) {
			++wrapped;
			command.run(*link, v);
			return true;
		});
		// Every command goes through the window's wrapper, one call per camera command.
		QCOMPARE(wrapped, payloads.size());
		// A marker sent afterwards proves that nothing else went out in between.
		link->setHome();
		QVERIFY(sim->waitForReceived(1, 5000));
		QCOMPARE(distinctPayloads(*sim), payloads + QStringList{QStringLiteral("81 01 06 04 FF")});

		const QJsonObject settings = readSettings();
		QCOMPARE(settings.value(QStringLiteral("Camera1IP")).toString(), sim->address().toString());
		if (storedKey.isEmpty()) {
			QCOMPARE(settings.size(), 1);
		} else {
			QCOMPARE(settings.size(), 2);
			QCOMPARE(settings.value(prefix + storedKey), QJsonValue(QString::number(value)));
		}
	}

	void limitIsStoredWithoutACamera_data()
	{
		QTest::addColumn<bool>("withLink");
		QTest::addColumn<bool>("withOps");
		QTest::newRow("no camera in use") << false << true;
		QTest::newRow("no capability profile") << true << false;
	}

	void limitIsStoredWithoutACamera()
	{
		QFETCH(bool, withLink);
		QFETCH(bool, withOps);
		viscaGeneralOps ops("NX-J57", (kProfileDir + QStringLiteral("NX-J57.ini")).toStdString());
		viscaIpModule link;
		QVERIFY(link.onConnectToCamera(j57->address().toString(), j57->port()));
		j57->clearReceived();

		// The window's wrapper queues nothing without a camera in use.
		int handed = 0;
		PanTiltLimitController::runCommand(Dialog::TiltDown, -12, withOps ? &ops : nullptr,
						   QStringLiteral("127.0.0.81NX-J57"),
						   [&](const CameraCommand &command, int v) {
							   ++handed;
							   if (!withLink)
								   return false;
							   command.run(link, v);
							   return true;
						   });
		link.setHome();
		QVERIFY(j57->waitForReceived(1, 5000));
		QCOMPARE(distinctPayloads(*j57), QStringList{QStringLiteral("81 01 06 04 FF")});
		QCOMPARE(handed, withOps ? 1 : 0);
		QCOMPARE(readSettings().value(QStringLiteral("127.0.0.81NX-J57TiltDownLimit")).toString(),
			 QStringLiteral("-12"));
	}

	void unreadableSettingsStoreNothing()
	{
		QVERIFY(QDir().mkpath(QFileInfo(Utils::getAppDataPath()).path()));
		{
			QFile blocker(Utils::getAppDataPath());
			QVERIFY(blocker.open(QIODevice::WriteOnly));
		}
		viscaGeneralOps ops("NX-J57", (kProfileDir + QStringLiteral("NX-J57.ini")).toStdString());
		viscaIpModule link;
		QVERIFY(link.onConnectToCamera(j57->address().toString(), j57->port()));
		j57->clearReceived();
		QTest::ignoreMessage(QtDebugMsg, "It's failed to read JSON file.");
		PanTiltLimitController::runCommand(Dialog::PanRight, 120, &ops, QStringLiteral("127.0.0.81NX-J57"),
						   [&link](const CameraCommand &command, int v) {
							   command.run(link, v);
							   return true;
						   });
		// The camera has its limit already; only the file is left as it was.
		QVERIFY(j57->waitForReceived(1, 5000));
		QCOMPARE(distinctPayloads(*j57).value(0),
			 QStringLiteral("81 01 06 07 00 01 00 06 0C 01 00 00 00 00 FF"));
		QVERIFY(QFileInfo(Utils::getAppDataPath()).isFile());
	}

	// --- Opening the dialog ---

	void openingFollowsTheModel_data()
	{
		QTest::addColumn<QString>("model");
		QTest::addColumn<bool>("speedComp");
		for (const char *model : {"NX-J57", "NX-B93K", "NX-HX7", "NX-W12", "NX-D28G", "NX-HX9"})
			QTest::newRow(model) << model << true;
		for (const char *model : {"NX-D26G", "NX-D26GS", "NX-ZQ418", "NX-ZQ418S"})
			QTest::newRow(model) << model << false;
	}

	void openingFollowsTheModel()
	{
		QFETCH(QString, model);
		QFETCH(bool, speedComp);
		// The prefix is built as the window builds it: address, then the model name the profile reports.
		viscaGeneralOps ops(model.toStdString(), (kProfileDir + model + QStringLiteral(".ini")).toStdString());
		QVERIFY(ops.isValid());
		const QString prefix = QStringLiteral("127.0.0.83") + QString::fromStdString(ops.getNAME());
		const QString other = QStringLiteral("127.0.0.84") + QString::fromStdString(ops.getNAME());
		writeSettings({{prefix + QStringLiteral("PanLeftLimit"), QStringLiteral("-45")},
			       {prefix + QStringLiteral("TiltUpLimit"), QStringLiteral("30")},
			       {other + QStringLiteral("PanRightLimit"), QStringLiteral("99")},
			       {QStringLiteral("PanRightLimit"), QStringLiteral("98")}});

		QWidget parent;
		QPointer<Dialog> dialog;
		Dialog *opened = PanTiltLimitController::openDialog(dialog, &parent, prefix, {});
		QVERIFY(opened);
		QCOMPARE(opened, dialog.data());
		QCOMPARE(opened->parentWidget(), &parent);
		QVERIFY(opened->isVisible());
		QCOMPARE(button(opened, "PTZSpeedCompButton")->isEnabled(), speedComp);
		QVERIFY(button(opened, "PanTiltLimitButton")->isEnabled());
		// Only this camera's limits; the ones it never had stay empty, and the fields stay shut.
		QCOMPARE(fieldStates(opened), QStringLiteral("30 off, -45 off,  off,  off"));

		// The switch follows the camera at every opening: a J57 afterwards always gets it back.
		PanTiltLimitController::openDialog(dialog, &parent, QStringLiteral("127.0.0.85NX-J57"), {});
		QVERIFY(button(opened, "PTZSpeedCompButton")->isEnabled());
		QCOMPARE(limitField(opened, Dialog::PanLeft)->text(), QString());
	}

	void reopeningReusesTheDialog()
	{
		const QString prefix = QStringLiteral("127.0.0.81NX-J57");
		QWidget parent;
		QPointer<Dialog> dialog;
		QList<Trigger> handled;
		const auto handler = [&](Dialog::CommandType type, int value) { handled << Trigger{type, value}; };

		Dialog *first = PanTiltLimitController::openDialog(dialog, &parent, prefix, handler);
		writeSettings({{prefix + QStringLiteral("PanRightLimit"), QStringLiteral("150")}});
		Dialog *second = PanTiltLimitController::openDialog(dialog, &parent, prefix, handler);
		QCOMPARE(second, first);
		QCOMPARE(parent.findChildren<Dialog *>().size(), 1);
		// The second opening refreshed the fields from the file.
		QCOMPARE(limitField(first, Dialog::PanRight)->text(), QStringLiteral("150"));

		// One entry, one command, however often the dialog was opened.
		QTest::mouseClick(button(first, "PanTiltLimitButton"), Qt::LeftButton);
		limitField(first, Dialog::PanRight)->setText(QStringLiteral("120"));
		QTest::keyClick(limitField(first, Dialog::PanRight), Qt::Key_Return);
		QCOMPARE(handled, QList<Trigger>({{Dialog::LimitSwitch, 1}, {Dialog::PanRight, 120}}));

		// Closing hides it but keeps it for the next opening.
		first->close();
		QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
		QVERIFY(!dialog.isNull());
		QCOMPARE(PanTiltLimitController::openDialog(dialog, &parent, prefix, handler), first);
		QVERIFY(first->isVisible());
	}
};

QTEST_MAIN(tst_PanTiltLimitSettingDialog)
#include "tst_PanTiltLimitSettingDialog.moc"
