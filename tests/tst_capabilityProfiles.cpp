#include "camera/iniParser.h"
#include "camera/viscaGeneralOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <unistd.h>

namespace {

QString joinRange(const cam_range &r)
{
	return QString::fromStdString(r.max + "," + r.min);
}

// A record as "field,field,..." in its declared order; lists as "label=value label=value|next element".
QString recordText(const iniParser &p, const QString &section)
{
	const auto s = [](const std::string &t) { return QString::fromStdString(t); };
	const auto listText = [](const cam_list &list) {
		QStringList elements;
		for (const auto &element : list) {
			QStringList entries;
			for (const auto &[label, value] : element)
				entries << QString::fromStdString(label + "=" + value);
			elements << entries.join(' ');
		}
		return elements.join('|');
	};
	if (section == "cam_zoom")
		return QStringList{s(p.cam_zoom.directMax), s(p.cam_zoom.directMin), s(p.cam_zoom.speedMax),
				   s(p.cam_zoom.speedMin)}
			.join(',');
	if (section == "cam_focus")
		return QStringList{s(p.cam_focus.directMax), s(p.cam_focus.directMin), s(p.cam_focus.speedMax),
				   s(p.cam_focus.speedMin)}
			.join(',');
	if (section == "pan_tiltdrive")
		return QStringList{s(p.pan_tiltdrive.panSpeedMax), s(p.pan_tiltdrive.panSpeedMin),
				   s(p.pan_tiltdrive.tiltSpeedMax), s(p.pan_tiltdrive.tiltSpeedMin)}
			.join(',');
	if (section == "pan_tiltlimitset") {
		const pan_tiltlimitset &l = p.pan_tiltlimitset;
		return QStringList{s(l.rightMax), s(l.rightMin), s(l.leftMax), s(l.leftMin),
				   s(l.upMax),    s(l.upMin),    s(l.downMax), s(l.downMin)}
			.join(',');
	}
	if (section == "cam_memory") {
		const ::cam_memory m = p.getCamMemory();
		return s(m.directMax) + "," + s(m.directMin) + ";" + listText(m.list);
	}
	const QMap<QString, const cam_range *> ranges = {{"cam_wb_bgain", &p.cam_wb_bgain},
							 {"cam_wb_rgain", &p.cam_wb_rgain},
							 {"cam_aperture", &p.cam_aperture},
							 {"cam_colorgain", &p.cam_colorgain},
							 {"cam_colorhue", &p.cam_colorhue}};
	if (ranges.contains(section))
		return joinRange(*ranges[section]);
	const QMap<QString, const cam_list *> lists = {
		{"cam_iris", &p.cam_iris},       {"cam_gain", &p.cam_gain}, {"cam_gamma", &p.cam_gamma},
		{"cam_shutter", &p.cam_shutter}, {"cam_wb", &p.cam_wb},     {"cam_ae", &p.cam_ae},
		{"cam_mirror", &p.cam_mirror},   {"cam_flip", &p.cam_flip}, {"cam_image_mode", &p.cam_image_mode}};
	if (lists.contains(section))
		return listText(*lists[section]);
	return QStringLiteral("<unknown section>");
}

const QStringList kSections = {"cam_zoom",      "cam_focus",        "cam_iris",      "cam_gain",      "cam_wb_bgain",
			       "cam_wb_rgain",  "cam_aperture",     "cam_colorgain", "cam_gamma",     "cam_colorhue",
			       "pan_tiltdrive", "pan_tiltlimitset", "cam_memory",    "cam_shutter",   "cam_wb",
			       "cam_ae",        "cam_mirror",       "cam_flip",      "cam_image_mode"};

// What every record reads as when nothing was taken from the file.
QString emptyRecordText(const QString &section)
{
	if (section == "cam_zoom" || section == "cam_focus" || section == "pan_tiltdrive")
		return ",,,";
	if (section == "pan_tiltlimitset")
		return ",,,,,,,";
	if (section == "cam_memory")
		return ",;";
	if (section == "cam_wb_bgain" || section == "cam_wb_rgain" || section == "cam_aperture" ||
	    section == "cam_colorgain" || section == "cam_colorhue")
		return ",";
	return QString();
}

QString mapText(const viscaGeneralOps::LabelValueMap &map)
{
	QStringList entries;
	for (auto it = map.cbegin(); it != map.cend(); ++it)
		entries << QString::fromStdString(it.key()) + "=" + QString::number(it.value());
	return entries.join(';');
}

QString shippedProfile(const QString &model)
{
	return QStringLiteral(KAVREN_SOURCE_DIR "/data/ini/") + model + ".ini";
}

} // namespace

class CapabilityProfilesTest : public QObject {
	Q_OBJECT

private:
	QTemporaryDir dir;
	int fileCount = 0;

	QString writeProfile(const QByteArray &content)
	{
		const QString path = dir.filePath(QString("profile%1.ini").arg(++fileCount));
		QFile file(path);
		if (!file.open(QIODevice::WriteOnly))
			return QString();
		file.write(content);
		return path;
	}

	std::unique_ptr<viscaGeneralOps> opsFor(const QByteArray &content)
	{
		return std::make_unique<viscaGeneralOps>("NX-TEST", writeProfile(content).toStdString());
	}

private slots:
	void cleanup() { viscaGeneralOps::setTextLookup(nullptr); }

	void sectionShapes_data();
	void sectionShapes();
	void acceptedDocuments_data();
	void acceptedDocuments();
	void refusedProfiles_data();
	void refusedProfiles();
	void unreadableProfile();
	void valueConversion_data();
	void valueConversion();
	void maps_data();
	void maps();
	void gammaValuesKeepFileOrder();
	void shippedProfiles_data();
	void shippedProfiles();
};

void CapabilityProfilesTest::sectionShapes_data()
{
	QTest::addColumn<QByteArray>("json");
	QTest::addColumn<QString>("section");
	QTest::addColumn<QString>("expected");

	QTest::newRow("zoom ranges") << QByteArray(R"({"cam_zoom":{"direct":{"min":"0000","max":"4000"},
		"speed":{"min":"0","max":"7"}}})")
				     << "cam_zoom"
				     << "4000,0000,7,0";
	QTest::newRow("zoom direct unsupported") << QByteArray(R"({"cam_zoom":{"direct":"",
		"speed":{"min":"1","max":"7"}}})")
						 << "cam_zoom"
						 << "NOT_SUPPORT,NOT_SUPPORT,7,1";
	QTest::newRow("focus speed unsupported") << QByteArray(R"({"cam_focus":{"direct":{"min":"1000","max":"F000"},
		"speed":""}})") << "cam_focus"
						 << "F000,1000,NOT_SUPPORT,NOT_SUPPORT";
	QTest::newRow("pan tilt drive") << QByteArray(R"({"pan_tiltdrive":{"pan_speed":{"min":"01","max":"18"},
		"tilt_speed":{"min":"02","max":"14"}}})")
					<< "pan_tiltdrive"
					<< "18,01,14,02";
	QTest::newRow("limits, up unsupported")
		<< QByteArray(R"({"pan_tiltlimitset":{"right":{"min":"0000","max":"0990"},
		"left":{"min":"F670","max":"FFFF"},"up":"","down":{"min":"FE70","max":"FFFF"}}})")
		<< "pan_tiltlimitset"
		<< "0990,0000,FFFF,F670,NOT_SUPPORT,NOT_SUPPORT,FFFF,FE70";
	QTest::newRow("memory") << QByteArray(R"({"cam_memory":{"list":[{"5_DegSec":"01"},{"300_DegSec":"18"}],
		"direct":{"min":"00","max":"7F"}}})")
				<< "cam_memory"
				<< "7F,00;5_DegSec=01|300_DegSec=18";
	QTest::newRow("memory unsupported") << QByteArray(R"({"cam_memory":{"list":"","direct":""}})") << "cam_memory"
					    << "NOT_SUPPORT,NOT_SUPPORT;";
	for (const char *range : {"cam_wb_bgain", "cam_wb_rgain", "cam_aperture", "cam_colorgain", "cam_colorhue"}) {
		QTest::addRow("%s range", range)
			<< QByteArray("{\"") + range + R"(":{"direct":{"max":"FF","min":"0A"}}})" << range << "FF,0A";
		QTest::addRow("%s unsupported", range)
			<< QByteArray("{\"") + range + R"(":{"direct":""}})" << range << "NOT_SUPPORT,NOT_SUPPORT";
	}
	for (const char *list : {"cam_iris", "cam_gain", "cam_gamma", "cam_shutter", "cam_wb", "cam_ae", "cam_mirror",
				 "cam_flip", "cam_image_mode"}) {
		QTest::addRow("%s two elements", list)
			<< QByteArray("{\"") + list + R"(":{"list":[{"F1_8":"11"},{"A":"0"}]}})" << list
			<< "F1_8=11|A=0";
		QTest::addRow("%s labels sorted", list)
			<< QByteArray("{\"") + list + R"(":{"list":[{"b":"2","a":"1"}]}})" << list << "a=1 b=2";
		QTest::addRow("%s unsupported", list) << QByteArray("{\"") + list + R"(":{"list":""}})" << list << "";
	}
	QTest::newRow("unknown members ignored")
		<< QByteArray(R"({"cam_zoom":{"direct":{"min":"0","max":"1","step":"2"},"speed":{"min":"1","max":"2"},
		"note":"x"},"other":[1,2]})")
		<< "cam_zoom"
		<< "1,0,2,1";
}

// A document with one section fills that record and leaves all the others empty.
void CapabilityProfilesTest::sectionShapes()
{
	QFETCH(QByteArray, json);
	QFETCH(QString, section);
	QFETCH(QString, expected);

	const iniParser parser(writeProfile(json).toStdString());
	QVERIFY2(parser.isValid(), parser.error().c_str());
	QCOMPARE(recordText(parser, section), expected);
	for (const QString &other : kSections) {
		if (other != section)
			QCOMPARE(recordText(parser, other), emptyRecordText(other));
	}
}

void CapabilityProfilesTest::acceptedDocuments_data()
{
	QTest::addColumn<QByteArray>("content");
	QTest::addColumn<QString>("zoom");

	QTest::newRow("empty object") << QByteArray("{}") << ",,,";
	QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF{\"cam_zoom\":{\"direct\":{\"min\":\"0\",\"max\":"
						       "\"4000\"},\"speed\":\"\"}}")
					 << "4000,0,NOT_SUPPORT,NOT_SUPPORT";
	QTest::newRow("trailing text") << QByteArray(R"({"cam_zoom":{"direct":"","speed":{"min":"1","max":"7"}}} junk)")
				       << "NOT_SUPPORT,NOT_SUPPORT,7,1";
	QTest::newRow("empty list array") << QByteArray(R"({"cam_iris":{"list":[]}})") << ",,,";
}

void CapabilityProfilesTest::acceptedDocuments()
{
	QFETCH(QByteArray, content);
	QFETCH(QString, zoom);

	const iniParser parser(writeProfile(content).toStdString());
	QVERIFY2(parser.isValid(), parser.error().c_str());
	QVERIFY(parser.error().empty());
	QCOMPARE(recordText(parser, "cam_zoom"), zoom);
}

void CapabilityProfilesTest::refusedProfiles_data()
{
	QTest::addColumn<QByteArray>("content");
	QTest::addColumn<QString>("fault");

	QTest::newRow("empty file") << QByteArray() << "not valid JSON";
	QTest::newRow("not JSON") << QByteArray("zoom=4000\n") << "not valid JSON";
	QTest::newRow("truncated") << QByteArray(R"({"cam_zoom":{"direct":)") << "not valid JSON";
	QTest::newRow("root is an array") << QByteArray("[{}]") << "root is not a JSON object";
	QTest::newRow("section is a string") << QByteArray(R"({"cam_iris":""})") << "\"cam_iris\" is not an object";
	QTest::newRow("direct missing") << QByteArray(R"({"cam_wb_rgain":{}})") << "has no \"direct\"";
	QTest::newRow("speed missing") << QByteArray(R"({"cam_zoom":{"direct":""}})") << "has no \"speed\"";
	QTest::newRow("limit direction missing")
		<< QByteArray(R"({"pan_tiltlimitset":{"right":"","left":"","up":""}})") << "has no \"down\"";
	QTest::newRow("memory list missing") << QByteArray(R"({"cam_memory":{"direct":""}})") << "has no \"list\"";
	QTest::newRow("min is a number") << QByteArray(R"({"cam_aperture":{"direct":{"min":0,"max":"0F"}}})")
					 << "is not a range";
	QTest::newRow("range is text") << QByteArray(R"({"cam_colorgain":{"direct":"NOT_SUPPORT"}})")
				       << "is not a range";
	QTest::newRow("list is an object") << QByteArray(R"({"cam_gain":{"list":{"0dB":"00"}}})") << "is not a list";
	QTest::newRow("list element is text") << QByteArray(R"({"cam_ae":{"list":["Auto"]}})") << "is not a list";
	QTest::newRow("list value is a number")
		<< QByteArray(R"({"cam_shutter":{"list":[{"1_60":6}]}})") << "is not a list";
	// One bad section spoils the whole file, even after good ones.
	QTest::newRow("good sections then a bad one")
		<< QByteArray(R"({"cam_zoom":{"direct":{"min":"0","max":"4000"},"speed":""},
			"cam_image_mode":{"list":[{"Custom":true}]}})")
		<< "is not a list";
}

void CapabilityProfilesTest::refusedProfiles()
{
	QFETCH(QByteArray, content);
	QFETCH(QString, fault);

	const QString path = writeProfile(content);
	QTest::ignoreMessage(QtWarningMsg,
			     QRegularExpression("^Capability profile " + QRegularExpression::escape(path) +
						" is refused: .*" + QRegularExpression::escape(fault)));
	viscaGeneralOps ops("NX-B93K", path.toStdString());
	QVERIFY(!ops.isValid());
	QVERIFY2(QString::fromStdString(ops.profileError()).contains(fault), ops.profileError().c_str());
	for (const QString &section : kSections)
		QCOMPARE(recordText(*ops.parser, section), emptyRecordText(section));
	QCOMPARE(ops.zoomMax(), 0u);
	QVERIFY(ops.memorySpeedMap.isEmpty());
	QVERIFY(ops.irisMap.isEmpty());
	QCOMPARE(ops.getNAME(), std::string("NX-B93K"));
}

void CapabilityProfilesTest::unreadableProfile()
{
	const QString missing = dir.filePath("absent.ini");
	QTest::ignoreMessage(QtWarningMsg, QRegularExpression("absent\\.ini is refused: it cannot be opened"));
	QVERIFY(!viscaGeneralOps("NX-J57", missing.toStdString()).isValid());

	QVERIFY(QDir(dir.path()).mkdir("folder.ini"));
	QTest::ignoreMessage(QtWarningMsg, QRegularExpression("folder\\.ini is refused: it is a directory"));
	QVERIFY(!iniParser(dir.filePath("folder.ini").toStdString()).isValid());

	if (geteuid() == 0)
		QSKIP("file permissions do not stop the superuser from reading");
	const QString locked = writeProfile("{}");
	QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
	QTest::ignoreMessage(QtWarningMsg, QRegularExpression("is refused: it cannot be opened"));
	QVERIFY(!iniParser(locked.toStdString()).isValid());
}

void CapabilityProfilesTest::valueConversion_data()
{
	QTest::addColumn<QByteArray>("text");
	QTest::addColumn<uint>("zoomMax");
	QTest::addColumn<uint>("hueMax");
	QTest::addColumn<bool>("logged");

	QTest::newRow("plain hex") << QByteArray("4000") << 0x4000u << 0x00u << false;
	QTest::newRow("lower case") << QByteArray("7ac0") << 0x7AC0u << 0xC0u << false;
	QTest::newRow("0x prefix") << QByteArray("0x1FF") << 0x1FFu << 0xFFu << false;
	QTest::newRow("cut to width") << QByteArray("123456789") << 0x23456789u << 0x89u << false;
	QTest::newRow("not supported") << QByteArray("NOT_SUPPORT") << 0u << 0u << false;
	QTest::newRow("trailing letters") << QByteArray("12zz") << 0u << 0u << true;
	QTest::newRow("leading space") << QByteArray(" 12") << 0u << 0u << true;
	QTest::newRow("sign") << QByteArray("-1") << 0u << 0u << true;
	QTest::newRow("prefix alone") << QByteArray("0x") << 0u << 0u << true;
}

// Profile numbers are hexadecimal text; anything else reads as 0 with a log line and never throws.
void CapabilityProfilesTest::valueConversion()
{
	QFETCH(QByteArray, text);
	QFETCH(uint, zoomMax);
	QFETCH(uint, hueMax);
	QFETCH(bool, logged);

	const auto ops = opsFor(R"({"cam_zoom":{"direct":{"min":"0","max":")" + text +
				R"("},"speed":""},"cam_colorhue":{"direct":{"min":"0","max":")" + text + R"("}}})");
	QVERIFY(ops->isValid());
	if (logged)
		QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not hexadecimal: " +
								      QRegularExpression::escape(QString(text))));
	QCOMPARE(uint(ops->zoomMax()), zoomMax);
	if (logged)
		QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not hexadecimal"));
	QCOMPARE(uint(ops->hueMax()), hueMax);
	QCOMPARE(ops->zoomMin(), 0u);
}

void CapabilityProfilesTest::maps_data()
{
	QTest::addColumn<QByteArray>("json");
	QTest::addColumn<bool>("translated");
	QTest::addColumn<QString>("map");
	QTest::addColumn<QString>("expected");

	QTest::newRow("iris first _ becomes .")
		<< QByteArray(R"({"cam_iris":{"list":[{"F1_8":"11"},{"F11":"06"},{"F_2_5":"0F"},{"Close":"0"}]}})")
		<< false << "iris"
		<< "Close=0;F.2_5=15;F1.8=17;F11=6";
	QTest::newRow("shutter first _ becomes /")
		<< QByteArray(R"({"cam_shutter":{"list":[{"1_60":"06"},{"1_10000":"15"},{"1_2_3":"1"}]}})") << false
		<< "shutter"
		<< "1/10000=21;1/2_3=1;1/60=6";
	QTest::newRow("gain labels unchanged")
		<< QByteArray(R"({"cam_gain":{"list":[{"0dB":"0"},{"3_dB":"1"}]}})") << true << "gain"
		<< "0dB=0;3_dB=1";
	QTest::newRow("preset speeds, key lookup")
		<< QByteArray(R"({"cam_memory":{"list":[{"300_DegSec":"18"},{"5_DegSec":"1"},{"Slow":"2"}],
			"direct":""}})")
		<< false << "memory"
		<< "300 DegSec=24;5 DegSec=1;Slow=2";
	QTest::newRow("preset speeds, translated unit")
		<< QByteArray(R"({"cam_memory":{"list":[{"300_DegSec":"18"},{"2_DegSec_x":"1"},{"a_DegSec_DegSec":"2"}],
			"direct":""}})")
		<< true << "memory"
		<< "2 [DegSec]=1;300 [DegSec]=24;a [DegSec]=2";
	QTest::newRow("exposure keeps Auto and Manual")
		<< QByteArray(R"({"cam_ae":{"list":[{"Auto":"0"},{"Manual":"3"},{"Bright":"D"},{"auto":"1"}]}})")
		<< false << "ae"
		<< "Auto=0;Manual=3";
	QTest::newRow("exposure translated")
		<< QByteArray(R"({"cam_ae":{"list":[{"Auto":"0"},{"Shutter_Priority":"A"},{"Manual":"3"}]}})") << true
		<< "ae"
		<< "[Auto]=0;[Manual]=3";
	QTest::newRow("white balance translated")
		<< QByteArray(R"({"cam_wb":{"list":[{"Auto":"0"},{"One_Push_WB":"3"},{"Manual":"5"}]}})") << true
		<< "wb"
		<< "[Auto]=0;[Manual]=5;[One_Push_WB]=3";
	QTest::newRow("picture mode translated")
		<< QByteArray(R"({"cam_image_mode":{"list":[{"Standard":"0"},{"Custom":"4"}]}})") << true << "image"
		<< "[Custom]=4;[Standard]=0";
	QTest::newRow("mirror and flip") << QByteArray(R"({"cam_mirror":{"list":[{"ON":"2"}]},
		"cam_flip":{"list":[{"ON":"2"},{"OFF":"3"}]}})")
					 << false << "mirrorFlip"
					 << "FLIP=2;MIRROR=1;MirrorFlip=3;OFF=0";
	QTest::newRow("mirror without flip") << QByteArray(R"({"cam_mirror":{"list":[{"ON":"2"}]},
		"cam_flip":{"list":""}})") << false
					     << "mirrorFlip"
					     << "";
	QTest::newRow("flip without mirror section")
		<< QByteArray(R"({"cam_flip":{"list":[{"ON":"2"}]}})") << false << "mirrorFlip"
		<< "";
	QTest::newRow("later label wins")
		<< QByteArray(R"({"cam_iris":{"list":[{"F2_0":"10"},{"F2.0":"11"}]}})") << false << "iris"
		<< "F2.0=17";
	QTest::newRow("bad value reads 0")
		<< QByteArray(R"({"cam_gain":{"list":[{"3dB":"1"},{"6dB":"two"},{"9dB":"FFFFFFFFF"}]}})") << false
		<< "gain"
		<< "3dB=1;6dB=0;9dB=0";
	QTest::newRow("absent section") << QByteArray("{}") << false << "wb"
					<< "";
}

void CapabilityProfilesTest::maps()
{
	QFETCH(QByteArray, json);
	QFETCH(bool, translated);
	QFETCH(QString, map);
	QFETCH(QString, expected);

	if (translated)
		viscaGeneralOps::setTextLookup([](const std::string &key) { return "[" + key + "]"; });
	if (QTest::currentDataTag() == QByteArray("bad value reads 0")) {
		QTest::ignoreMessage(QtWarningMsg, QRegularExpression("6dB is not hexadecimal: two"));
		QTest::ignoreMessage(QtWarningMsg, QRegularExpression("9dB is out of range: FFFFFFFFF"));
	}
	const auto ops = opsFor(json);
	QVERIFY(ops->isValid());
	const QMap<QString, const viscaGeneralOps::LabelValueMap *> maps = {
		{"iris", &ops->irisMap},   {"shutter", &ops->shutterMap},    {"gain", &ops->gainMap},
		{"gamma", &ops->gammaMap}, {"memory", &ops->memorySpeedMap}, {"ae", &ops->aeModeMap},
		{"wb", &ops->wbModeMap},   {"image", &ops->imageModeMap},    {"mirrorFlip", &ops->mirrorFlipMap}};
	QVERIFY(maps.contains(map));
	QCOMPARE(mapText(*maps[map]), expected);
}

void CapabilityProfilesTest::gammaValuesKeepFileOrder()
{
	const auto ops = opsFor(R"({"cam_gamma":{"list":[{"c":"3"},{"a":"1"},{"b":"2"},{"w":"1FE"}]}})");
	QCOMPARE(ops->gammaValues, (std::vector<uint8_t>{3, 1, 2, 0xFE}));
	QCOMPARE(ops->GammaMin(), uint8_t(1));
	QCOMPARE(ops->GammaMax(), uint8_t(0xFE));

	const auto none = opsFor(R"({"cam_gamma":{"list":""}})");
	QVERIFY(none->gammaValues.empty());
	QCOMPARE(none->GammaMax(), uint8_t(0));
	QCOMPARE(none->GammaMin(), uint8_t(0));
}

void CapabilityProfilesTest::shippedProfiles_data()
{
	QTest::addColumn<QString>("model");
	const QDir shipped(QStringLiteral(KAVREN_SOURCE_DIR "/data/ini/"));
	const QStringList files = shipped.entryList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name);
	QVERIFY(!files.isEmpty());
	for (const QString &file : files)
		QTest::newRow(qPrintable(file)) << QFileInfo(file).completeBaseName();
}

// Every shipped profile loads, and holds what the control panels are built from.
void CapabilityProfilesTest::shippedProfiles()
{
	QFETCH(QString, model);

	const QString path = shippedProfile(model);
	QVERIFY2(QFile::exists(path), qPrintable(path));
	viscaGeneralOps ops(model.toStdString(), path.toStdString());
	QVERIFY2(ops.isValid(), ops.profileError().c_str());
	QCOMPARE(ops.getNAME(), model.toStdString());

	QCOMPARE(ops.zoomMin(), 0u);
	QCOMPARE(ops.zoomMax(), 0x4000u);
	QVERIFY(ops.focusMax() > ops.focusMin());
	QVERIFY(ops.zoomSpeedMin() >= 1 && ops.zoomSpeedMax() > ops.zoomSpeedMin() && ops.zoomSpeedMax() <= 7);
	if (!ops.parser->cam_focus.speedMax.empty() && ops.parser->cam_focus.speedMax != "NOT_SUPPORT")
		QVERIFY(ops.focusSpeedMin() >= 1 && ops.focusSpeedMax() > ops.focusSpeedMin());
	QCOMPARE(ops.panSpeedMin(), uint8_t(1));
	QCOMPARE(ops.panSpeedMax(), uint8_t(0x18));
	QCOMPARE(ops.tiltSpeedMin(), uint8_t(1));
	QVERIFY(ops.tiltSpeedMax() >= 0x10 && ops.tiltSpeedMax() <= 0x14);

	// Right and up count up from 0; left and down count down from FFFF. A direction may be unsupported.
	QVERIFY(ops.panRightMax() > ops.panRightMin());
	QVERIFY(ops.panLeftMax() == 0xFFFF && ops.panLeftMin() > 0x8000);
	QVERIFY((ops.tiltUpMax() == 0 && ops.tiltUpMin() == 0) || ops.tiltUpMax() > ops.tiltUpMin());
	QVERIFY((ops.tiltDownMax() == 0 && ops.tiltDownMin() == 0) ||
		(ops.tiltDownMax() == 0xFFFF && ops.tiltDownMin() > 0x8000));

	// The preset speed box selects entry 5 by default.
	QVERIFY(ops.memorySpeedMap.size() >= 6);
	for (auto it = ops.memorySpeedMap.cbegin(); it != ops.memorySpeedMap.cend(); ++it)
		QVERIFY2(QString::fromStdString(it.key()).contains(QRegularExpression("^\\d+ DegSec$")),
			 it.key().c_str());

	QVERIFY(ops.aeModeMap.contains("Auto") && ops.aeModeMap.contains("Manual"));
	QVERIFY(ops.aeModeMap["Auto"] != ops.aeModeMap["Manual"]);
	for (const char *mode : {"Auto", "Manual", "One_Push_WB"})
		QVERIFY2(ops.wbModeMap.contains(mode), mode);
	QVERIFY(ops.imageModeMap.isEmpty() || ops.imageModeMap.contains("Custom"));
	QVERIFY(ops.mirrorFlipMap.isEmpty() || ops.mirrorFlipMap.size() == 4);

	QVERIFY(ops.irisMap.size() >= 8);
	for (auto it = ops.irisMap.cbegin(); it != ops.irisMap.cend(); ++it)
		QVERIFY2(QString::fromStdString(it.key()).contains(QRegularExpression("^(F\\d+(\\.\\d)?|Close)$")),
			 it.key().c_str());
	QVERIFY(ops.shutterMap.size() >= 8);
	for (auto it = ops.shutterMap.cbegin(); it != ops.shutterMap.cend(); ++it)
		QVERIFY2(QString::fromStdString(it.key()).contains(QRegularExpression("^1/\\d+$")), it.key().c_str());
	QVERIFY(ops.gainMap.contains("0dB"));
	for (auto it = ops.gainMap.cbegin(); it != ops.gainMap.cend(); ++it)
		QVERIFY2(QString::fromStdString(it.key()).contains(QRegularExpression("^\\d+dB$")), it.key().c_str());
	QVERIFY(!ops.gammaMap.isEmpty());
	QVERIFY(ops.GammaMax() >= ops.GammaMin());
	QVERIFY(ops.RgainMax() > ops.RgainMin() && ops.BgainMax() > ops.BgainMin());
	QVERIFY(ops.sharpeessMax() > ops.sharpeessMin());
}

QTEST_GUILESS_MAIN(CapabilityProfilesTest)
#include "tst_capabilityProfiles.moc"
