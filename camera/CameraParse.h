#pragma once

#include "visca/viscaIpModule.h"

#include <QList>
#include <QMap>
#include <QString>

#include <map>
#include <memory>
#include <string>
#include <utility>

class CameraSelect;
class HX7ViscaIPModule;
class viscaGeneralOps;

// The result of identifying one camera: camera IP address (UTF-8 text) -> (model name, capability object or
// null when no profile was found). One entry on success, empty on failure. The capability object belongs to
// whoever receives the map.
using CamParamMap = std::map<std::string, std::pair<std::string, viscaGeneralOps *>>;

// Finds the model of the camera at an address by sending the identification inquiries of the camera families in
// a fixed order until one family's parser recognises the reply, then selects the model's capability object.
class CameraParse {
public:
	// Cameras listen on kViscaPort; another port is only chosen by test fixtures and tools.
	explicit CameraParse(quint16 cameraPort = viscaIpModule::kViscaPort,
			     CameraDialect dialect = CameraDialect::ViscaOverIp);
	~CameraParse();
	CameraParse(const CameraParse &) = delete;
	CameraParse &operator=(const CameraParse &) = delete;

	CamParamMap parseCamera(QString ip);
	// Each element's first entry: IP address -> name the camera announced during discovery.
	void parseCameraALL(const QList<QMap<QString, QString>> &cameras);
	QList<CamParamMap> getCamParamList() const { return camParamList; }

	// The family parsers: the model name, or an empty string when the reply does not identify a camera of that
	// family. They talk through the probe modules of a running parseCamera.
	QString parseHX7camID();
	QString parseJ57camID();
	QString parseD26GcamID();
	QString parseW38BcamID();
	QString parseZQ418camID();

	static QString parseCamName(QString text);

	// The decoding steps of the family parsers, separate from the exchange so that any datagram can be checked
	// without a camera. Each logs as its parser does and returns the model name ("NX-HX7") or the ID code
	// ("KJA", "543"), or an empty string when the reply does not identify a camera of that family.
	static QString modelFromHX7Reply(const QByteArray &reply);
	static std::string codeFromJ57Reply(const QByteArray &reply);
	static std::string codeFromD26GReply(const QByteArray &reply);
	static std::string codeFromW38BReply(const QByteArray &reply);
	static std::string codeFromZQ418Reply(const QByteArray &reply);

	quint16 cameraPort() const { return camPort; }

private:
	QByteArray inquire(viscaIpModule *module, const QByteArray &payload);
	QString modelForCode(const std::string &code) const;

	// The probe links of a running parseCamera, null otherwise.
	std::unique_ptr<viscaIpModule> viscaModule;
	std::unique_ptr<HX7ViscaIPModule> hx7Module;
	QList<CamParamMap> camParamList;
	std::unique_ptr<CameraSelect> cameraSelect;
	quint16 camPort;
	CameraDialect dialect;
};
