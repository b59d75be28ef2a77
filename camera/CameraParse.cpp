#include "camera/CameraParse.h"

#include "camera/CameraCatalogue.h"
#include "camera/CameraLog.h"
#include "camera/CameraSelect.h"
#include "visca/HX7ViscaIPModule.h"

#include <cstdio>

namespace {

// The identification inquiries, VISCA payloads without the VISCA-over-IP header.
const QByteArray kHX7Inquiry = QByteArray::fromHex("81090002ff");
const QByteArray kJ57Inquiry = QByteArray::fromHex("810900020005ff");
const QByteArray kD26GInquiry = QByteArray::fromHex("81010203ff");
const QByteArray kW38BInquiry = QByteArray::fromHex("810900020003ff");
const QByteArray kZQ418Inquiry = QByteArray::fromHex("81090002ff");

// The ONVIF scope under which a camera announces its name during discovery.
const QString kOnvifNameScope = QStringLiteral("onvif://www.onvif.org/name/");

// How one code family's reply is checked and which texts its failures log.
struct CodeFamily {
	int replyLength;
	int terminatorIndex; // -1: no terminator check
	const char *emptyMessage;
	const char *lengthMessage;
	bool lengthMessageHasLength;
	const char *responseMessage;
};

const CodeFamily kJ57Family{
	23, 22, "F64 parse failed, ACK is Empty", "F64 parse failed, ACK length error: ", true, "F64 response error"};
const CodeFamily kD26GFamily{
	36, -1, "D26G parse failed, ACK is Empty", "D26G2 parse failed,Not Match,set default", false, nullptr};
const CodeFamily kW38BFamily{18,
			     17,
			     "W38B parse failed  arr.isEmpty()",
			     "W38B parse failed, ACK length error: ",
			     true,
			     "W38B response data error"};

std::string codeFromReply(const QByteArray &reply, const CodeFamily &family)
{
	if (reply.isEmpty()) {
		qCDebug(lcCamera) << family.emptyMessage;
		return {};
	}
	if (reply.size() != family.replyLength) {
		if (family.lengthMessageHasLength)
			qCDebug(lcCamera) << family.lengthMessage << reply.size();
		else
			qCDebug(lcCamera) << family.lengthMessage;
		return {};
	}
	if (family.terminatorIndex >= 0 && static_cast<uint8_t>(reply.at(family.terminatorIndex)) != 0xFF) {
		qCDebug(lcCamera) << family.responseMessage;
		return {};
	}

	// The three ASCII characters of the code, bytes 10 to 12.
	const std::string code = reply.mid(10, 3).toStdString();
	qCDebug(lcCamera) << " CamIdCode   =  " << QString::fromLatin1(code.data(), static_cast<int>(code.size()));
	return code;
}

} // namespace

CameraParse::CameraParse(quint16 cameraPort, CameraDialect dialect)
    : cameraSelect(std::make_unique<CameraSelect>()), camPort(cameraPort), dialect(dialect)
{
}

CameraParse::~CameraParse() = default;

QByteArray CameraParse::inquire(viscaIpModule *module, const QByteArray &payload)
{
	if (!module)
		return {};
	return module->getInquery(reinterpret_cast<const uint8_t *>(payload.constData()), payload.size());
}

QString CameraParse::modelForCode(const std::string &code) const
{
	return QString::fromStdString(cameraSelect->CamCode2IDname(code));
}

CamParamMap CameraParse::parseCamera(QString ip)
{
	CamParamMap result;
	viscaModule = std::make_unique<viscaIpModule>();
	hx7Module = std::make_unique<HX7ViscaIPModule>();
	viscaModule->setDialect(dialect);
	hx7Module->setDialect(dialect);

	// The HX7 link never probes on connect, so its result says nothing.
	hx7Module->onConnectToCamera(ip, camPort);
	QString camId = parseHX7camID();

	if (camId.isEmpty()) {
		if (viscaModule->onConnectToCamera(ip, camPort)) {
			camId = parseJ57camID();
			qCDebug(lcCamera, "%s tmpJ57 connect camID = %s", qPrintable(ip), qPrintable(camId));
			if (camId.isEmpty()) {
				camId = parseD26GcamID();
				qCDebug(lcCamera, "%s tmpD26G connect camID = %s", qPrintable(ip), qPrintable(camId));
			}
			if (camId.isEmpty()) {
				camId = parseW38BcamID();
				qCDebug(lcCamera, "%s tmpW38B connect camID = %s", qPrintable(ip), qPrintable(camId));
			}
			if (camId.isEmpty())
				qCDebug(lcCamera) << " ---------------IP Not match ----------------------";
		} else {
			// Only the ZQ418 family leaves the address-set probe unanswered.
			camId = parseZQ418camID();
			if (!camId.isEmpty())
				qCDebug(lcCamera) << ip << " tmpZQ418 connect camID = " << camId;
			else
				qCDebug(lcCamera) << "IP Not match custom------------------------\n";
		}
	}

	if (!camId.isEmpty()) {
		viscaGeneralOps *ops = cameraSelect->getCamParam(camId.toStdString());
		result.emplace(ip.toStdString(), std::make_pair(camId.toStdString(), ops));
	}

	viscaModule.reset();
	hx7Module.reset();
	return result;
}

void CameraParse::parseCameraALL(const QList<QMap<QString, QString>> &cameras)
{
	camParamList.clear();
	for (const QMap<QString, QString> &camera : cameras) {
		if (camera.isEmpty())
			continue;
		const QString ip = camera.constBegin().key();
		const QString announcedName = camera.constBegin().value();
		CamParamMap result = parseCamera(ip);
		if (result.empty())
			continue;
		qCDebug(lcCamera) << announcedName;
		// The list shows cameras by the name the operator gave them; the capabilities stay those of the model.
		result.begin()->second.first = announcedName.toStdString();
		camParamList.append(result);
	}
}

QString CameraParse::parseHX7camID()
{
	return modelFromHX7Reply(inquire(hx7Module.get(), kHX7Inquiry));
}

QString CameraParse::parseJ57camID()
{
	const std::string code = codeFromJ57Reply(inquire(viscaModule.get(), kJ57Inquiry));
	return code.empty() ? QString() : modelForCode(code);
}

QString CameraParse::parseD26GcamID()
{
	const std::string code = codeFromD26GReply(inquire(viscaModule.get(), kD26GInquiry));
	return code.empty() ? QString() : modelForCode(code);
}

QString CameraParse::parseW38BcamID()
{
	const std::string code = codeFromW38BReply(inquire(viscaModule.get(), kW38BInquiry));
	return code.empty() ? QString() : modelForCode(code);
}

QString CameraParse::parseZQ418camID()
{
	const std::string code = codeFromZQ418Reply(inquire(viscaModule.get(), kZQ418Inquiry));
	if (code.empty())
		return {};
	const QString model = modelForCode(code);
	qCDebug(lcCamera) << model;
	return model;
}

QString CameraParse::modelFromHX7Reply(const QByteArray &reply)
{
	if (reply.isEmpty()) {
		qCDebug(lcCamera) << "HX7 parse failed , No data";
		return {};
	}
	if (reply.size() < 18) {
		qCDebug(lcCamera) << "HX7 parse failed, data Not Match";
		return {};
	}
	// Vendor field 02 01 of the version reply names the one model of the family.
	if (reply.at(10) != 0x02 || reply.at(11) != 0x01)
		return {};
	return QString::fromLatin1(CameraCatalogue::firstOf(CameraCatalogue::Identification::HX7)->name);
}

std::string CameraParse::codeFromJ57Reply(const QByteArray &reply)
{
	return codeFromReply(reply, kJ57Family);
}

std::string CameraParse::codeFromD26GReply(const QByteArray &reply)
{
	return codeFromReply(reply, kD26GFamily);
}

std::string CameraParse::codeFromW38BReply(const QByteArray &reply)
{
	return codeFromReply(reply, kW38BFamily);
}

std::string CameraParse::codeFromZQ418Reply(const QByteArray &reply)
{
	if (reply.isEmpty()) {
		qCDebug(lcCamera) << "ZQ418 parse failed, ACK is Empty";
		return {};
	}
	if (reply.size() != 18) {
		qCDebug(lcCamera) << "ZQ418 parse failed, ACK length error: " << reply.size();
		return {};
	}
	// The low twelve bits of the model field of the version reply, as the three hex digits the catalogue lists.
	const unsigned modelBits =
		(static_cast<uint8_t>(reply.at(12)) & 0x0Fu) << 8 | static_cast<uint8_t>(reply.at(13));
	char digits[4];
	std::snprintf(digits, sizeof digits, "%03x", modelBits);
	if (!CameraCatalogue::byCode(CameraCatalogue::Identification::ZQ418, digits))
		return {};
	return digits;
}

QString CameraParse::parseCamName(QString text)
{
	const int at = text.lastIndexOf(kOnvifNameScope);
	if (at < 0)
		return {};
	QString name = text.mid(at + kOnvifNameScope.size());
	name = name.left(name.indexOf(QLatin1Char('<')));
	name = name.left(name.indexOf(QLatin1Char(' ')));
	return name;
}
