// The pan/tilt limit dialog and the controller window's handling of it: the accepted angles, the two switches,
// the triggered() reports, and what reaches a simulated camera and the settings file for each of them.
#include "MainDialogTestSupport.h"
#include "ui/PanTiltLimits.h"
#include "ui/PanTiltLimitSettingDialog.h"
#include "camera/ViscaIPFactory.h"
#include "visca/viscaIpModule.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QValidator>
#include <QtTest>

#include <memory>

using Dialog = PanTiltLimitSettingDialog;
using namespace MainDialogTest;
Q_DECLARE_METATYPE(Dialog::CommandType)

namespace {

const QString kProfileDir = QStringLiteral(KAVREN_SOURCE_DIR "/data/ini/");
const QString kHome = QStringLiteral("81010604ff");

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
	SettingsHome home;
	std::unique_ptr<CameraSimulator> j57;
	std::unique_ptr<CameraSimulator> d26g;

	CameraSimulator *camera(const QString &model)
	{
		return model == QLatin1String("NX-D26G") ? d26g.get() : j57.get();
	}

private slots:
	void initTestCase()
	{
		QVERIFY(home.setUp());
		QVERIFY(loadLocale());
		j57 = startCamera("127.0.0.81", "NX-J57");
		d26g = startCamera("127.0.0.82", "NX-D26G");
		QVERIFY(j57);
		QVERIFY(d26g);
	}

	void init()
	{
		removeSettings();
		QVERIFY(clearWhenQuiet(*j57));
		QVERIFY(clearWhenQuiet(*d26g));
	}

	void cleanupTestCase() { ModuleText::setLookup(nullptr); }

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
			{Dialog::PanRight, "pan right", {"0", "170"}, {"171", "-5", "05", "+5", ""}},
			{Dialog::PanLeft, "pan left", {"-0", "-170"}, {"-171", "30", "-05", "--5"}},
			{Dialog::TiltUp, "tilt up", {"0", "90"}, {"91", "-1", "05"}},
			{Dialog::TiltDown, "tilt down", {"-0", "-30"}, {"-31", "5", "-03"}},
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
		QTest::mouseClick(namedChild<QPushButton>(&dialog, "PanTiltLimitButton"), Qt::LeftButton);
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
		QPushButton *limits = namedChild<QPushButton>(&dialog, "PanTiltLimitButton");
		QPushButton *comp = namedChild<QPushButton>(&dialog, "PTZSpeedCompButton");
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
		// one (0 for right and up, FFFF for left and down). One row a side and a model; the link's own tests
		// hold the bytes of every step and dialect.
		const QString j57 = QStringLiteral("NX-J57");
		const QString d26 = QStringLiteral("NX-D26G");
		auto row = [](const char *name, const QString &model, Dialog::CommandType type, int value,
			      QStringList payloads, const char *key) {
			QTest::newRow(name) << model << type << value << payloads << QString::fromLatin1(key);
		};
		row("J57 pan right 120", j57, Dialog::PanRight, 120, {"81010607000100060c0100000000ff"},
		    "PanRightLimit");
		row("J57 pan left -170", j57, Dialog::PanLeft, -170, {"8101060700000f0607000f0f0f0fff"},
		    "PanLeftLimit");
		row("J57 tilt up 45", j57, Dialog::TiltUp, 45, {"8101060700010000000000020809ff"}, "TiltUpLimit");
		row("J57 tilt down -30", j57, Dialog::TiltDown, -30, {"8101060700000f0f0f0f0f0e070aff"},
		    "TiltDownLimit");
		row("D26G pan right 120", d26, Dialog::PanRight, 120, {"81010607000100090c0d00000000ff"},
		    "PanRightLimit");
		row("speed compensation on", j57, Dialog::SpeedComp, 1, {"8101061f0101ff"}, "");
		row("limit switch off clears both corners", j57, Dialog::LimitSwitch, 0,
		    {"810106070101070f0f0f070f0f0fff", "810106070100070f0f0f070f0f0fff"}, "");
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
		SettingsHome::write({{QStringLiteral("Camera1IP"), sim->address().toString()}});
		sim->clearReceived();

		int wrapped = 0;
		PanTiltLimits::runCommand(type, value, &ops, prefix, [&](const CameraCommand &command, int v) {
			++wrapped;
			command.run(*link, v);
			return true;
		});
		// Every command goes through the window's wrapper, one call per camera command.
		QCOMPARE(wrapped, payloads.size());
		// A marker sent afterwards proves that nothing else went out in between.
		link->setHome();
		QVERIFY(sim->waitForReceived(1, 5000));
		QCOMPARE(distinctCommands(*sim), payloads + QStringList{kHome});

		const QJsonObject settings = SettingsHome::read();
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
		PanTiltLimits::runCommand(Dialog::TiltDown, -12, withOps ? &ops : nullptr,
					  QStringLiteral("127.0.0.81NX-J57"), [&](const CameraCommand &command, int v) {
						  ++handed;
						  if (!withLink)
							  return false;
						  command.run(link, v);
						  return true;
					  });
		link.setHome();
		QVERIFY(j57->waitForReceived(1, 5000));
		QCOMPARE(distinctCommands(*j57), QStringList{kHome});
		QCOMPARE(handed, withOps ? 1 : 0);
		QCOMPARE(SettingsHome::read().value(QStringLiteral("127.0.0.81NX-J57TiltDownLimit")).toString(),
			 QStringLiteral("-12"));
	}

	void unreadableSettingsStoreNothing()
	{
		QVERIFY(blockSettings());
		viscaGeneralOps ops("NX-J57", (kProfileDir + QStringLiteral("NX-J57.ini")).toStdString());
		viscaIpModule link;
		QVERIFY(link.onConnectToCamera(j57->address().toString(), j57->port()));
		j57->clearReceived();
		PanTiltLimits::runCommand(Dialog::PanRight, 120, &ops, QStringLiteral("127.0.0.81NX-J57"),
					  [&link](const CameraCommand &command, int v) {
						  command.run(link, v);
						  return true;
					  });
		// The camera has its limit already; only the file is left as it was.
		QVERIFY(j57->waitForReceived(1, 5000));
		QCOMPARE(distinctCommands(*j57).value(0), QStringLiteral("81010607000100060c0100000000ff"));
		QVERIFY(QFileInfo(Utils::getAppDataPath()).isFile());
	}

	// --- Opening the dialog ---

	void openingFollowsTheModel_data()
	{
		QTest::addColumn<QString>("model");
		QTest::addColumn<bool>("speedComp");
		QTest::newRow("NX-J57") << "NX-J57" << true;
		QTest::newRow("NX-D26G") << "NX-D26G" << false;
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
		SettingsHome::write({{prefix + QStringLiteral("PanLeftLimit"), QStringLiteral("-45")},
				     {prefix + QStringLiteral("TiltUpLimit"), QStringLiteral("30")},
				     {other + QStringLiteral("PanRightLimit"), QStringLiteral("99")},
				     {QStringLiteral("PanRightLimit"), QStringLiteral("98")}});

		QWidget parent;
		QPointer<Dialog> dialog;
		Dialog *opened = PanTiltLimits::openDialog(dialog, &parent, prefix, {});
		QVERIFY(opened);
		QCOMPARE(opened, dialog.data());
		QCOMPARE(opened->parentWidget(), &parent);
		QVERIFY(opened->isVisible());
		QCOMPARE(namedChild<QPushButton>(opened, "PTZSpeedCompButton")->isEnabled(), speedComp);
		QVERIFY(namedChild<QPushButton>(opened, "PanTiltLimitButton")->isEnabled());
		// Only this camera's limits; the ones it never had stay empty, and the fields stay shut.
		QCOMPARE(fieldStates(opened), QStringLiteral("30 off, -45 off,  off,  off"));

		// The switch follows the camera at every opening: a J57 afterwards always gets it back.
		PanTiltLimits::openDialog(dialog, &parent, QStringLiteral("127.0.0.85NX-J57"), {});
		QVERIFY(namedChild<QPushButton>(opened, "PTZSpeedCompButton")->isEnabled());
		QCOMPARE(limitField(opened, Dialog::PanLeft)->text(), QString());
	}

	void reopeningReusesTheDialog()
	{
		const QString prefix = QStringLiteral("127.0.0.81NX-J57");
		QWidget parent;
		QPointer<Dialog> dialog;
		QList<Trigger> handled;
		const auto handler = [&](Dialog::CommandType type, int value) { handled << Trigger{type, value}; };

		Dialog *first = PanTiltLimits::openDialog(dialog, &parent, prefix, handler);
		SettingsHome::write({{prefix + QStringLiteral("PanRightLimit"), QStringLiteral("150")}});
		Dialog *second = PanTiltLimits::openDialog(dialog, &parent, prefix, handler);
		QCOMPARE(second, first);
		QCOMPARE(parent.findChildren<Dialog *>().size(), 1);
		// The second opening refreshed the fields from the file.
		QCOMPARE(limitField(first, Dialog::PanRight)->text(), QStringLiteral("150"));

		// One entry, one command, however often the dialog was opened.
		QTest::mouseClick(namedChild<QPushButton>(first, "PanTiltLimitButton"), Qt::LeftButton);
		limitField(first, Dialog::PanRight)->setText(QStringLiteral("120"));
		QTest::keyClick(limitField(first, Dialog::PanRight), Qt::Key_Return);
		QCOMPARE(handled, QList<Trigger>({{Dialog::LimitSwitch, 1}, {Dialog::PanRight, 120}}));

		// Closing hides it but keeps it for the next opening.
		first->close();
		QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
		QVERIFY(!dialog.isNull());
		QCOMPARE(PanTiltLimits::openDialog(dialog, &parent, prefix, handler), first);
		QVERIFY(first->isVisible());
	}
};

QTEST_MAIN(tst_PanTiltLimitSettingDialog)
#include "tst_PanTiltLimitSettingDialog.moc"
