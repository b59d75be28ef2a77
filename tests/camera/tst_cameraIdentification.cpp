#include "camera/CameraParse.h"
#include "camera/CameraSelect.h"
#include "camera/viscaGeneralOps.h"
#include "ui/ModalBox.h"

#include "ReceivedCommands.h"

#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// Identification payloads as a camera receives them, in the order they must be tried.
const QByteArray kHX7Inq = "81090002ff";
const QByteArray kAddrSet = "883001ff";
const QByteArray kJ57Inq = "810900020005ff";
const QByteArray kD26GInq = "81010203ff";
const QByteArray kW38BInq = "810900020003ff";

QByteArrayList inquiriesFor(SimIdentityFamily family)
{
	switch (family) {
	case SimIdentityFamily::HX7:
		return {kHX7Inq};
	case SimIdentityFamily::ZQ418: // no answer to the address-set probe: only the version inquiry follows
		return {kHX7Inq, kAddrSet, kHX7Inq};
	case SimIdentityFamily::J57:
		return {kHX7Inq, kAddrSet, kJ57Inq};
	case SimIdentityFamily::D26G:
		return {kHX7Inq, kAddrSet, kJ57Inq, kD26GInq};
	case SimIdentityFamily::W38B:
		break;
	}
	return {kHX7Inq, kAddrSet, kJ57Inq, kD26GInq, kW38BInq};
}

// The VISCA payloads (after the eight-byte header) of every datagram a simulator received, as hex.
QByteArrayList payloadsOf(const CameraSimulator &sim)
{
	QByteArrayList payloads;
	for (const QByteArray &datagram : sim.received())
		payloads << datagram.mid(8).toHex();
	return payloads;
}

// A reply of `length` bytes: 90 50 after the header, `data` from byte 10, padded with zeros, last byte FF.
QByteArray codeReply(int length, const QByteArray &data, char last = '\xff')
{
	QByteArray r(length, '\0');
	r[8] = '\x90';
	r[9] = '\x50';
	for (int i = 0; i < data.size() && 10 + i < length; ++i)
		r[10 + i] = data[i];
	r[length - 1] = last;
	return r;
}

} // namespace

class tst_cameraIdentification : public QObject {
	Q_OBJECT

private:
	const QString profileDir = QStringLiteral(KAVREN_SOURCE_DIR "/data/ini/");
	const QString toolPath = QStringLiteral(KAVREN_BINARY_DIR "/tools/kavren-visca");
	QStringList boxTexts;

	void setProfileDir(const QString &dir) { qputenv("KAVREN_PROFILE_DIR", QFile::encodeName(dir)); }

	struct ToolRun {
		int exitCode = -1;
		QByteArray out;
		QByteArray err;
	};

	ToolRun runTool(const QStringList &args)
	{
		ToolRun run;
		QProcess process;
		process.start(toolPath, args);
		if (!process.waitForFinished(20000)) {
			process.kill();
			process.waitForFinished(2000);
			return run;
		}
		run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
		run.out = process.readAllStandardOutput();
		run.err = process.readAllStandardError();
		return run;
	}

private slots:
	void initTestCase()
	{
		setProfileDir(profileDir);
		ModalBox::setAnswerer([this](QMessageBox &box) { boxTexts << box.text(); });
	}

	void init()
	{
		setProfileDir(profileDir);
		boxTexts.clear();
	}

	void cleanupTestCase() { ModalBox::setAnswerer(nullptr); }

	// --- ID table ---

	void codeLookupMisses_data()
	{
		QTest::addColumn<QString>("code");
		QTest::newRow("lower case") << "kja";
		QTest::newRow("trailing space") << "KJA ";
		QTest::newRow("zq418 neighbour") << "611";
	}

	void codeLookupMisses()
	{
		QFETCH(QString, code);
		QCOMPARE(CameraSelect().CamCode2IDname(code.toStdString()), std::string("Unknown"));
	}

	// --- Model selection ---

	void missingOrBrokenProfile_data()
	{
		QTest::addColumn<QString>("model");
		QTest::addColumn<QByteArray>("fileContent"); // empty: no file at all
		QTest::newRow("missing default") << "Unknown" << QByteArray();
		QTest::newRow("missing listed model") << "NX-J57" << QByteArray();
		QTest::newRow("not json") << "NX-J57" << QByteArray("this is no profile {");
	}

	void missingOrBrokenProfile()
	{
		QFETCH(QString, model);
		QFETCH(QByteArray, fileContent);
		QTemporaryDir dir;
		QVERIFY(dir.isValid());
		setProfileDir(dir.path());
		const QString fileModel = model == "Unknown" ? QStringLiteral("NX-B93K") : model;
		const QString expectedPath = dir.path() + "/" + fileModel + ".ini";
		if (!fileContent.isEmpty()) {
			QFile file(expectedPath);
			QVERIFY(file.open(QIODevice::WriteOnly));
			file.write(fileContent);
		}

		CameraSelect select;
		QCOMPARE(select.getCamParam(model.toStdString()), nullptr);
		// One box for a missing file, naming the path that was looked up; a file that is there but unusable is
		// no "not found" for the operator.
		QCOMPARE(boxTexts,
			 fileContent.isEmpty() ? QStringList{"ini Not Found: " + expectedPath} : QStringList());
	}

	// --- Decoding of identification replies, without a camera ---

	void replyDecoding_data()
	{
		QTest::addColumn<QString>("family");
		QTest::addColumn<QByteArray>("reply");
		QTest::addColumn<QString>("expected");
		QTest::newRow("hx7 vendor 0201") << "HX7" << codeReply(18, QByteArray::fromHex("0201")) << "NX-HX7";
		QTest::newRow("hx7 other vendor") << "HX7" << codeReply(18, QByteArray::fromHex("0020")) << "";
		QTest::newRow("hx7 17 bytes") << "HX7" << codeReply(17, QByteArray::fromHex("0201")) << "";
		QTest::newRow("j57 code") << "J57" << codeReply(23, "KJA") << "KJA";
		QTest::newRow("j57 no terminator") << "J57" << codeReply(23, "KJA", '\xfe') << "";
		QTest::newRow("j57 22 bytes") << "J57" << codeReply(22, "KJA") << "";
		QTest::newRow("d26g code") << "D26G" << codeReply(36, "KDC") << "KDC";
		QTest::newRow("d26g any last byte") << "D26G" << codeReply(36, "KDC", '\0') << "KDC";
		QTest::newRow("d26g 35 bytes") << "D26G" << codeReply(35, "KDC") << "";
		QTest::newRow("w38b code") << "W38B" << codeReply(18, "KWD") << "KWD";
		QTest::newRow("w38b no terminator") << "W38B" << codeReply(18, "KWD", '\x00') << "";

		QTest::newRow("zq418 543") << "ZQ418" << codeReply(18, QByteArray::fromHex("00000543")) << "543";
		QTest::newRow("zq418 only low digit of byte 12")
			<< "ZQ418" << codeReply(18, QByteArray::fromHex("0000f543")) << "543";
		QTest::newRow("zq418 611") << "ZQ418" << codeReply(18, QByteArray::fromHex("00000611")) << "";
		QTest::newRow("zq418 19 bytes") << "ZQ418" << codeReply(19, QByteArray::fromHex("00000543")) << "";
	}

	void replyDecoding()
	{
		QFETCH(QString, family);
		QFETCH(QByteArray, reply);
		QFETCH(QString, expected);
		QString decoded;
		if (family == "HX7")
			decoded = CameraParse::modelFromHX7Reply(reply);
		else if (family == "J57")
			decoded = QString::fromLatin1(CameraParse::codeFromJ57Reply(reply).c_str());
		else if (family == "D26G")
			decoded = QString::fromLatin1(CameraParse::codeFromD26GReply(reply).c_str());
		else if (family == "W38B")
			decoded = QString::fromLatin1(CameraParse::codeFromW38BReply(reply).c_str());
		else
			decoded = QString::fromLatin1(CameraParse::codeFromZQ418Reply(reply).c_str());
		QCOMPARE(decoded, expected);
	}

	void parseCamName_data()
	{
		QTest::addColumn<QString>("text");
		QTest::addColumn<QString>("name");
		QTest::newRow("among scopes")
			<< "<d:Scopes>onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/name/NX-J57 "
			   "onvif://www.onvif.org/hardware/J57</d:Scopes>"
			<< "NX-J57";
		QTest::newRow("last occurrence wins")
			<< "onvif://www.onvif.org/name/First onvif://www.onvif.org/name/Second<"
			<< "Second";
		QTest::newRow("end of text") << "onvif://www.onvif.org/name/Cam_1" << "Cam_1";
		QTest::newRow("no name scope") << "<d:Scopes>onvif://www.onvif.org/type/ptz</d:Scopes>"
					       << "";
	}

	void parseCamName()
	{
		QFETCH(QString, text);
		QFETCH(QString, name);
		QCOMPARE(CameraParse::parseCamName(text), name);
	}

	// --- Identification against simulated cameras ---

	void identify_data()
	{
		QTest::addColumn<QString>("simModel");
		QTest::addColumn<QString>("expectedId");
		QTest::addColumn<QString>("expectedProfileModel");
		QTest::addColumn<QByteArrayList>("expectedInquiries");
		// Every camera the simulator can play, identified by what it answers.
		for (const SimModel &model : SimModels::all())
			QTest::newRow(qPrintable(model.name))
				<< model.name << model.name << model.name << inquiriesFor(model.family);
		// An unlisted code stops the search at the J57 inquiry and falls back to the default profile.
		QTest::newRow("unlisted code") << "UNLISTED"
					       << "Unknown"
					       << "NX-B93K" << inquiriesFor(SimIdentityFamily::J57);
	}

	void identify()
	{
		QFETCH(QString, simModel);
		QFETCH(QString, expectedId);
		QFETCH(QString, expectedProfileModel);
		QFETCH(QByteArrayList, expectedInquiries);
		auto sim = startSimulatedCamera("127.0.0.41", simModel);
		QVERIFY(sim);

		CameraParse parse(sim->port());
		const CamParamMap result = parse.parseCamera(QStringLiteral("127.0.0.41"));
		QCOMPARE(int(result.size()), 1);
		QCOMPARE(result.begin()->first, std::string("127.0.0.41"));
		QCOMPARE(QString::fromStdString(result.begin()->second.first), expectedId);
		std::unique_ptr<viscaGeneralOps> ops(result.begin()->second.second);
		QVERIFY(ops);
		QCOMPARE(QString::fromStdString(ops->getNAME()), expectedProfileModel);
		QCOMPARE(payloadsOf(*sim), expectedInquiries);
		QVERIFY(boxTexts.isEmpty());
	}

	void identifyNobody_data()
	{
		QTest::addColumn<bool>("bound");
		QTest::newRow("silent camera") << true;
		QTest::newRow("nothing listening") << false;
	}

	void identifyNobody()
	{
		QFETCH(bool, bound);
		auto sim = startSimulatedCamera("127.0.0.42", "NX-J57");
		QVERIFY(sim);
		const quint16 port = sim->port();
		if (bound)
			sim->setSilent(true);
		else
			sim.reset();

		CameraParse parse(port);
		QVERIFY(parse.parseCamera(QStringLiteral("127.0.0.42")).empty());
		if (sim) // every family was given its chance: HX7 inquiry, address set, then the ZQ418 inquiry
			QCOMPARE(payloadsOf(*sim), (QByteArrayList{kHX7Inq, kAddrSet, kHX7Inq}));
		QVERIFY(boxTexts.isEmpty());
	}

	void parseCameraAllOneSilent()
	{
		// Both cameras must share one port, as real cameras do; find one that both addresses can bind.
		std::unique_ptr<CameraSimulator> answering, silent;
		for (int attempt = 0; attempt < 10 && !silent; ++attempt) {
			answering = startSimulatedCamera("127.0.0.43", "NX-D26GS");
			QVERIFY(answering);
			silent = startSimulatedCamera("127.0.0.44", "NX-J57", answering->port());
		}
		QVERIFY(silent);
		silent->setSilent(true);

		CameraParse parse(answering->port());
		parse.parseCameraALL({{{"127.0.0.44", "Quiet one"}}, {}, {{"127.0.0.43", "Stage left"}}});
		const QList<CamParamMap> list = parse.getCamParamList();
		QCOMPARE(list.size(), 1);
		QCOMPARE(int(list.first().size()), 1);
		QCOMPARE(list.first().begin()->first, std::string("127.0.0.43"));
		QCOMPARE(list.first().begin()->second.first, std::string("Stage left"));
		std::unique_ptr<viscaGeneralOps> ops(list.first().begin()->second.second);
		QVERIFY(ops);
		QCOMPARE(ops->getNAME(), std::string("NX-D26GS"));
		QVERIFY(!silent->received().isEmpty());
	}

	// --- The command-line tool: what scripts read from it, its output and its exit code ---

	void tool_data()
	{
		QTest::addColumn<QString>("simModel"); // empty: no camera
		QTest::addColumn<QString>("fault");    // "silent" or "refusing" camera
		QTest::addColumn<QStringList>("args");
		QTest::addColumn<int>("exitCode");
		QTest::addColumn<QByteArray>("out");
		QTest::addColumn<QByteArrayList>(
			"sequence"); // datagrams received in a row, as hex, whole when they start 01
		const auto identified = [this](const QString &model, const QString &profile) {
			return ("model: " + model + "\nprofile: " + profileDir + profile + ".ini\n").toUtf8();
		};
		QTest::newRow("identify") << "NX-HX7" << "" << QStringList{"identify"} << 0
					  << identified("NX-HX7", "NX-HX7") << QByteArrayList();
		QTest::newRow("identify unlisted") << "UNLISTED" << "" << QStringList{"identify"} << 0
						   << identified("Unknown", "NX-B93K") << QByteArrayList();
		// --model skips identification: the link's address-set probe carries serial 1, the command serial 2.
		QTest::newRow("zoom direct, whole datagram")
			<< "NX-J57" << "" << QStringList{"--model", "NX-J57", "setZoomDirect", "16384"} << 0
			<< QByteArray()
			<< QByteArrayList{"0100000400000001883001ff", "0100000a00000002810104470400000002ff"};
		QTest::newRow("focus round trip")
			<< "NX-W38B" << ""
			<< QStringList{"setFocusDirect", "0x1234", "getFocusDirect", "setAfMode", "0", "getAfMode"} << 0
			<< QByteArray("4660\n0\n")
			<< QByteArrayList{"8101044801020304ff", "81090448ff", "8101043803ff", "81090438ff"};
		QTest::newRow("no arguments") << "" << "" << QStringList{} << 2 << QByteArray() << QByteArrayList();
		QTest::newRow("unknown operation") << "" << "" << QStringList{"127.0.0.47", "setWarpDrive"} << 2
						   << QByteArray() << QByteArrayList();
		QTest::newRow("bad value") << "" << "" << QStringList{"127.0.0.47", "setZoomDirect", "far"} << 2
					   << QByteArray() << QByteArrayList();
		// Refused, not clamped to another position than was asked.
		QTest::newRow("value outside its field")
			<< "" << "" << QStringList{"127.0.0.47", "setZoomDirect", "99999"} << 2 << QByteArray()
			<< QByteArrayList();
		QTest::newRow("silent identify")
			<< "NX-J57" << "silent" << QStringList{"identify"} << 1 << QByteArray() << QByteArrayList();
		QTest::newRow("silent command") << "NX-J57" << "silent" << QStringList{"--model", "NX-J57", "setHome"}
						<< 1 << QByteArray() << QByteArrayList();
		QTest::newRow("refused once, one try")
			<< "NX-HX7" << "refusing" << QStringList{"--model", "NX-HX7", "setHue", "3"} << 1
			<< QByteArray() << QByteArrayList{"81010e24440003ff"};
	}

	void tool()
	{
		QFETCH(QString, simModel);
		QFETCH(QString, fault);
		QFETCH(QStringList, args);
		QFETCH(int, exitCode);
		QFETCH(QByteArray, out);
		QFETCH(QByteArrayList, sequence);
		QVERIFY2(QFile::exists(toolPath), "build the kavren-visca target first");
		std::unique_ptr<CameraSimulator> sim;
		if (!simModel.isEmpty()) {
			sim = startSimulatedCamera("127.0.0.45", simModel);
			QVERIFY(sim);
			sim->setSilent(fault == "silent");
			if (fault == "refusing")
				sim->errorNextRequest(0x02);
			args = QStringList{"--port", QString::number(sim->port()), "127.0.0.45"} + args;
		}
		const ToolRun run = runTool(args);
		QCOMPARE(run.exitCode, exitCode);
		if (exitCode == 2)
			QVERIFY(run.err.contains("Usage: kavren-visca"));
		if (exitCode == 0)
			QCOMPARE(run.out, out);
		if (sequence.isEmpty())
			return;
		const bool whole = sequence.first().startsWith("01");
		QByteArrayList got;
		for (const QByteArray &datagram : sim->received())
			got << (whole ? datagram : datagram.mid(8)).toHex();
		// Identification comes first unless a model was given; the operations follow, each sent once.
		bool found = false;
		for (int i = 0; i + sequence.size() <= got.size() && !found; ++i)
			found = got.mid(i, sequence.size()) == sequence;
		QVERIFY2(found, got.join(' ').constData());
	}
};

QTEST_MAIN(tst_cameraIdentification)
#include "tst_cameraIdentification.moc"
