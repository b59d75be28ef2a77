#include "camera/iniParser.h"
#include "camera/viscaGeneralOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "OrdinaryUser.h"

#include <memory>

namespace {

// A record's fields joined by commas, in their declared order.
QString fields(std::initializer_list<std::string> values)
{
	QStringList texts;
	for (const std::string &value : values)
		texts << QString::fromStdString(value);
	return texts.join(',');
}

// A list as "label=value label=value|next element".
QString listText(const cam_list &list)
{
	QStringList elements;
	for (const auto &element : list) {
		QStringList entries;
		for (const auto &[label, value] : element)
			entries << QString::fromStdString(label + "=" + value);
		elements << entries.join(' ');
	}
	return elements.join('|');
}

// Every record of a profile as text, by section name; the memory as "max,min;list".
QMap<QString, QString> records(const iniParser &p)
{
	const auto &z = p.cam_zoom;
	const auto &f = p.cam_focus;
	const auto &d = p.pan_tiltdrive;
	const auto &l = p.pan_tiltlimitset;
	const ::cam_memory m = p.getCamMemory();
	return {
		{"cam_zoom", fields({z.directMax, z.directMin, z.speedMax, z.speedMin})},
		{"cam_focus", fields({f.directMax, f.directMin, f.speedMax, f.speedMin})},
		{"pan_tiltdrive", fields({d.panSpeedMax, d.panSpeedMin, d.tiltSpeedMax, d.tiltSpeedMin})},
		{"pan_tiltlimitset",
		 fields({l.rightMax, l.rightMin, l.leftMax, l.leftMin, l.upMax, l.upMin, l.downMax, l.downMin})},
		{"cam_memory", fields({m.directMax, m.directMin}) + ";" + listText(m.list)},
		{"cam_wb_bgain", fields({p.cam_wb_bgain.max, p.cam_wb_bgain.min})},
		{"cam_wb_rgain", fields({p.cam_wb_rgain.max, p.cam_wb_rgain.min})},
		{"cam_aperture", fields({p.cam_aperture.max, p.cam_aperture.min})},
		{"cam_colorgain", fields({p.cam_colorgain.max, p.cam_colorgain.min})},
		{"cam_colorhue", fields({p.cam_colorhue.max, p.cam_colorhue.min})},
		{"cam_iris", listText(p.cam_iris)},
		{"cam_gain", listText(p.cam_gain)},
		{"cam_gamma", listText(p.cam_gamma)},
		{"cam_shutter", listText(p.cam_shutter)},
		{"cam_wb", listText(p.cam_wb)},
		{"cam_ae", listText(p.cam_ae)},
		{"cam_mirror", listText(p.cam_mirror)},
		{"cam_flip", listText(p.cam_flip)},
		{"cam_image_mode", listText(p.cam_image_mode)},
	};
}

// A document of one section.
QByteArray oneSection(const char *section, const char *body)
{
	return QByteArray("{\"") + section + "\":" + body + "}";
}

// A record that holds nothing: its separators alone.
bool isEmptyRecord(const QString &text)
{
	return !text.contains(QRegularExpression(QStringLiteral("[^,;]")));
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

	void sectionShapes_data()
	{
		QTest::addColumn<QByteArray>("json");
		QTest::addColumn<QString>("section");
		QTest::addColumn<QString>("expected");

		QTest::newRow("zoom ranges") << QByteArray(R"({"cam_zoom":{"direct":{"min":"0000","max":"4000"},
			"speed":{"min":"0","max":"7"}}})")
					     << "cam_zoom"
					     << "4000,0000,7,0";
		QTest::newRow("focus speed unsupported")
			<< QByteArray(R"({"cam_focus":{"direct":{"min":"1000","max":"F000"},
			"speed":""}})")
			<< "cam_focus"
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
		QTest::newRow("memory unsupported")
			<< QByteArray(R"({"cam_memory":{"list":"","direct":""}})") << "cam_memory"
			<< "NOT_SUPPORT,NOT_SUPPORT;";
		for (const char *range :
		     {"cam_wb_bgain", "cam_wb_rgain", "cam_aperture", "cam_colorgain", "cam_colorhue"}) {
			QTest::addRow("%s range", range)
				<< oneSection(range, R"({"direct":{"max":"FF","min":"0A"}})") << range << "FF,0A";
			QTest::addRow("%s unsupported", range)
				<< oneSection(range, R"({"direct":""})") << range << "NOT_SUPPORT,NOT_SUPPORT";
		}
		for (const char *list : {"cam_iris", "cam_gain", "cam_gamma", "cam_shutter", "cam_wb", "cam_ae",
					 "cam_mirror", "cam_flip", "cam_image_mode"}) {
			QTest::addRow("%s two elements", list)
				<< oneSection(list, R"({"list":[{"F1_8":"11"},{"A":"0"}]})") << list << "F1_8=11|A=0";
			QTest::addRow("%s labels sorted", list)
				<< oneSection(list, R"({"list":[{"b":"2","a":"1"}]})") << list << "a=1 b=2";
			QTest::addRow("%s unsupported", list) << oneSection(list, R"({"list":""})") << list << "";
		}
		// Read although they are not plain JSON objects of known sections alone.
		QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF{\"cam_zoom\":{\"direct\":{\"min\":\"0\","
							       "\"max\":\"4000\"},\"speed\":\"\"}}")
						 << "cam_zoom"
						 << "4000,0,NOT_SUPPORT,NOT_SUPPORT";
		QTest::newRow("trailing text")
			<< QByteArray(R"({"cam_zoom":{"direct":"","speed":{"min":"1","max":"7"}}} junk)") << "cam_zoom"
			<< "NOT_SUPPORT,NOT_SUPPORT,7,1";
		QTest::newRow("empty list array") << QByteArray(R"({"cam_iris":{"list":[]}})") << "cam_iris" << "";
		QTest::newRow("unknown members ignored")
			<< QByteArray(
				   R"({"cam_zoom":{"direct":{"min":"0","max":"1","step":"2"},"speed":{"min":"1","max":"2"},
			"note":"x"},"other":[1,2]})")
			<< "cam_zoom"
			<< "1,0,2,1";
	}

	// A document with one section fills that record and leaves all the others empty.
	void sectionShapes()
	{
		QFETCH(QByteArray, json);
		QFETCH(QString, section);
		QFETCH(QString, expected);

		const iniParser parser(writeProfile(json).toStdString());
		QVERIFY2(parser.isValid(), parser.error().c_str());
		QVERIFY(parser.error().empty());
		const QMap<QString, QString> read = records(parser);
		QCOMPARE(read.value(section), expected);
		for (auto record = read.cbegin(); record != read.cend(); ++record) {
			if (record.key() != section)
				QVERIFY2(isEmptyRecord(record.value()), qPrintable(record.key()));
		}
	}

	void refusedProfiles_data()
	{
		QTest::addColumn<QByteArray>("content");

		QTest::newRow("empty file") << QByteArray();
		QTest::newRow("truncated") << QByteArray(R"({"cam_zoom":{"direct":)");
		QTest::newRow("root is an array") << QByteArray("[{}]");
		QTest::newRow("section is a string") << QByteArray(R"({"cam_iris":""})");
		QTest::newRow("direct missing") << QByteArray(R"({"cam_wb_rgain":{}})");
		QTest::newRow("speed missing") << QByteArray(R"({"cam_zoom":{"direct":""}})");
		QTest::newRow("limit direction missing")
			<< QByteArray(R"({"pan_tiltlimitset":{"right":"","left":"","up":""}})");
		QTest::newRow("memory list missing") << QByteArray(R"({"cam_memory":{"direct":""}})");
		QTest::newRow("min is a number") << QByteArray(R"({"cam_aperture":{"direct":{"min":0,"max":"0F"}}})");
		QTest::newRow("range is text") << QByteArray(R"({"cam_colorgain":{"direct":"NOT_SUPPORT"}})");
		QTest::newRow("list is an object") << QByteArray(R"({"cam_gain":{"list":{"0dB":"00"}}})");
		QTest::newRow("list element is text") << QByteArray(R"({"cam_ae":{"list":["Auto"]}})");
		QTest::newRow("list value is a number") << QByteArray(R"({"cam_shutter":{"list":[{"1_60":6}]}})");
		// One bad section spoils the whole file, even after good ones.
		QTest::newRow("good sections then a bad one")
			<< QByteArray(R"({"cam_zoom":{"direct":{"min":"0","max":"4000"},"speed":""},
				"cam_image_mode":{"list":[{"Custom":true}]}})");
	}

	void refusedProfiles()
	{
		QFETCH(QByteArray, content);

		viscaGeneralOps ops("NX-B93K", writeProfile(content).toStdString());
		QVERIFY(!ops.isValid());
		for (const QString &record : records(*ops.parser))
			QVERIFY2(isEmptyRecord(record), qPrintable(record));
		QCOMPARE(ops.zoomMax(), 0u);
		QVERIFY(ops.memorySpeedMap.isEmpty());
		QVERIFY(ops.irisMap.isEmpty());
		QCOMPARE(ops.getNAME(), std::string("NX-B93K"));
	}

	void unreadableProfile()
	{
		const QString missing = dir.filePath("absent.ini");
		QVERIFY(!viscaGeneralOps("NX-J57", missing.toStdString()).isValid());

		QVERIFY(QDir(dir.path()).mkdir("folder.ini"));
		QVERIFY(!iniParser(dir.filePath("folder.ini").toStdString()).isValid());

		// A file the operator may not read: root reads it whatever its permissions, so an ordinary user tries.
		const QString locked = writeProfile("{}");
		QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
		const OrdinaryUser user(dir.path());
		QVERIFY(user.isOrdinary());
		QVERIFY(!iniParser(locked.toStdString()).isValid());
	}

	void valueConversion_data()
	{
		QTest::addColumn<QByteArray>("text");
		QTest::addColumn<uint>("zoomMax");
		QTest::addColumn<uint>("hueMax");

		QTest::newRow("lower case") << QByteArray("7ac0") << 0x7AC0u << 0xC0u;
		QTest::newRow("0x prefix") << QByteArray("0x1FF") << 0x1FFu << 0xFFu;
		QTest::newRow("cut to width") << QByteArray("123456789") << 0x23456789u << 0x89u;
		QTest::newRow("not supported") << QByteArray("NOT_SUPPORT") << 0u << 0u;
		QTest::newRow("trailing letters") << QByteArray("12zz") << 0u << 0u;
		QTest::newRow("sign") << QByteArray("-1") << 0u << 0u;
		QTest::newRow("prefix alone") << QByteArray("0x") << 0u << 0u;
	}

	// Profile numbers are hexadecimal text; anything else reads as 0 with a log line and never throws.
	void valueConversion()
	{
		QFETCH(QByteArray, text);
		QFETCH(uint, zoomMax);
		QFETCH(uint, hueMax);

		const auto ops =
			opsFor(R"({"cam_zoom":{"direct":{"min":"0","max":")" + text +
			       R"("},"speed":""},"cam_colorhue":{"direct":{"min":"0","max":")" + text + R"("}}})");
		QVERIFY(ops->isValid());
		QCOMPARE(uint(ops->zoomMax()), zoomMax);
		QCOMPARE(uint(ops->hueMax()), hueMax);
		QCOMPARE(ops->zoomMin(), 0u);
	}

	void maps_data()
	{
		QTest::addColumn<QByteArray>("json");
		QTest::addColumn<bool>("translated");
		QTest::addColumn<QString>("map");
		QTest::addColumn<QString>("expected");

		QTest::newRow("iris first _ becomes .")
			<< QByteArray(
				   R"({"cam_iris":{"list":[{"F1_8":"11"},{"F11":"06"},{"F_2_5":"0F"},{"Close":"0"}]}})")
			<< false << "iris"
			<< "Close=0;F.2_5=15;F1.8=17;F11=6";
		QTest::newRow("shutter first _ becomes /")
			<< QByteArray(R"({"cam_shutter":{"list":[{"1_60":"06"},{"1_10000":"15"},{"1_2_3":"1"}]}})")
			<< false << "shutter"
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
			<< QByteArray(
				   R"({"cam_memory":{"list":[{"300_DegSec":"18"},{"2_DegSec_x":"1"},{"a_DegSec_DegSec":"2"}],
				"direct":""}})")
			<< true << "memory"
			<< "2 [DegSec]=1;300 [DegSec]=24;a [DegSec]=2";
		QTest::newRow("exposure keeps Auto and Manual")
			<< QByteArray(
				   R"({"cam_ae":{"list":[{"Auto":"0"},{"Manual":"3"},{"Bright":"D"},{"auto":"1"}]}})")
			<< false << "ae"
			<< "Auto=0;Manual=3";
		QTest::newRow("exposure translated")
			<< QByteArray(R"({"cam_ae":{"list":[{"Auto":"0"},{"Shutter_Priority":"A"},{"Manual":"3"}]}})")
			<< true << "ae"
			<< "[Auto]=0;[Manual]=3";
		QTest::newRow("white balance translated")
			<< QByteArray(R"({"cam_wb":{"list":[{"Auto":"0"},{"One_Push_WB":"3"},{"Manual":"5"}]}})")
			<< true << "wb"
			<< "[Auto]=0;[Manual]=5;[One_Push_WB]=3";
		QTest::newRow("picture mode translated")
			<< QByteArray(R"({"cam_image_mode":{"list":[{"Standard":"0"},{"Custom":"4"}]}})") << true
			<< "image"
			<< "[Custom]=4;[Standard]=0";
		QTest::newRow("mirror and flip") << QByteArray(R"({"cam_mirror":{"list":[{"ON":"2"}]},
			"cam_flip":{"list":[{"ON":"2"},{"OFF":"3"}]}})")
						 << false << "mirrorFlip"
						 << "FLIP=2;MIRROR=1;MirrorFlip=3;OFF=0";
		QTest::newRow("mirror without flip") << QByteArray(R"({"cam_mirror":{"list":[{"ON":"2"}]},
			"cam_flip":{"list":""}})") << false
						     << "mirrorFlip"
						     << "";
		QTest::newRow("later label wins")
			<< QByteArray(R"({"cam_iris":{"list":[{"F2_0":"10"},{"F2.0":"11"}]}})") << false << "iris"
			<< "F2.0=17";
		QTest::newRow("bad value reads 0")
			<< QByteArray(R"({"cam_gain":{"list":[{"3dB":"1"},{"6dB":"two"},{"9dB":"FFFFFFFFF"}]}})")
			<< false << "gain"
			<< "3dB=1;6dB=0;9dB=0";
	}

	void maps()
	{
		QFETCH(QByteArray, json);
		QFETCH(bool, translated);
		QFETCH(QString, map);
		QFETCH(QString, expected);

		if (translated)
			viscaGeneralOps::setTextLookup([](const std::string &key) { return "[" + key + "]"; });
		const auto ops = opsFor(json);
		QVERIFY(ops->isValid());
		const QMap<QString, const viscaGeneralOps::LabelValueMap *> maps = {
			{"iris", &ops->irisMap},
			{"shutter", &ops->shutterMap},
			{"gain", &ops->gainMap},
			{"gamma", &ops->gammaMap},
			{"memory", &ops->memorySpeedMap},
			{"ae", &ops->aeModeMap},
			{"wb", &ops->wbModeMap},
			{"image", &ops->imageModeMap},
			{"mirrorFlip", &ops->mirrorFlipMap}};
		QVERIFY(maps.contains(map));
		QCOMPARE(mapText(*maps[map]), expected);
	}

	void gammaValuesKeepFileOrder()
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

	void shippedProfiles_data()
	{
		QTest::addColumn<QString>("model");
		const QDir shipped(QStringLiteral(KAVREN_SOURCE_DIR "/data/ini/"));
		const QStringList files = shipped.entryList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name);
		QVERIFY(!files.isEmpty());
		for (const QString &file : files)
			QTest::newRow(qPrintable(file)) << QFileInfo(file).completeBaseName();
	}

	// Every shipped profile loads, and holds what the control panels are built from.
	void shippedProfiles()
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

		QVERIFY(ops.aeModeMap.contains("Auto") && ops.aeModeMap.contains("Manual"));
		QVERIFY(ops.aeModeMap["Auto"] != ops.aeModeMap["Manual"]);
		for (const char *mode : {"Auto", "Manual", "One_Push_WB"})
			QVERIFY2(ops.wbModeMap.contains(mode), mode);
		QVERIFY(ops.imageModeMap.isEmpty() || ops.imageModeMap.contains("Custom"));
		QVERIFY(ops.mirrorFlipMap.isEmpty() || ops.mirrorFlipMap.size() == 4);

		QVERIFY(ops.irisMap.size() >= 8);
		QVERIFY(ops.shutterMap.size() >= 8);
		QVERIFY(ops.gainMap.contains("0dB"));
		QVERIFY(!ops.gammaMap.isEmpty());
		QVERIFY(ops.GammaMax() >= ops.GammaMin());
		QVERIFY(ops.RgainMax() > ops.RgainMin() && ops.BgainMax() > ops.BgainMin());
		QVERIFY(ops.sharpeessMax() > ops.sharpeessMin());
	}
};

QTEST_GUILESS_MAIN(CapabilityProfilesTest)
#include "tst_capabilityProfiles.moc"
