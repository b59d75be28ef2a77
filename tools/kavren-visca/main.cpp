// kavren-visca: identify a VISCA-over-IP camera and run camera operations on it from the command line.
//
//   kavren-visca [options] ADDRESS identify
//   kavren-visca [options] ADDRESS OPERATION [VALUE]... [OPERATION [VALUE]...]...
//   kavren-visca [options] discover
//
// Exit status: 0 when every exchange was acknowledged and completed or answered (discover: when at least one
// camera answered), 1 when the camera refused, did not answer or could not be identified (discover: when none
// answered), 2 for bad usage.

#include "ViscaOperations.h"
#include "visca/ViscaField.h"

#include "camera/CameraParse.h"
#include "camera/CameraSelect.h"
#include "camera/ProfileLocation.h"
#include "camera/viscaGeneralOps.h"
#include "discovery/OnvifDiscovery.h"
#include "camera/ViscaIPFactory.h"
#include "visca/viscaIpModule.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

enum ExitCode { ExitOk = 0, ExitCameraFailed = 1, ExitUsage = 2 };

const char *const kDescription =
	"Identifies the camera at ADDRESS and runs the named operations in order on a camera link suited to its\n"
	"model. Inquiries (get...) print their decoded answer in decimal, one per line.\n"
	"\n"
	"  kavren-visca [options] ADDRESS identify\n"
	"  kavren-visca [options] ADDRESS OPERATION [VALUE]... [OPERATION [VALUE]...]...\n"
	"  kavren-visca [options] discover\n"
	"\n"
	"discover runs one WS-Discovery search (40 Probes over 1.2 s to the broadcast address and the multicast\n"
	"group 239.255.255.250, UDP 3702), identifies every camera that answered and prints one line per camera:\n"
	"ADDRESS<TAB>NAME<TAB>MODEL, where NAME is the name the camera announced (- when none) and MODEL is ?\n"
	"when the camera could not be identified. The environment variable KAVREN_DISCOVERY_ADDRESS (or\n"
	"--discovery-address) names one IPv4 address to probe instead.\n"
	"\n"
	"VALUEs are decimal or 0x-prefixed hexadecimal; a negative VALUE stands after --. Examples:\n"
	"  kavren-visca 192.0.2.10 identify\n"
	"  kavren-visca 192.0.2.10 setZoomDirect 16384 getZoomDirect\n"
	"  kavren-visca 192.0.2.10 setMemory1_Index 3 setMemory1_Recall\n"
	"  kavren-visca 192.0.2.10 setPanRightLimit 10 0x0990 0\n"
	"  kavren-visca --discovery-address 127.0.0.2 discover\n"
	"\n"
	"Exit status: 0 when every exchange was acknowledged and completed or answered (discover: when at least\n"
	"one camera answered), 1 when the camera refused, did not answer or could not be identified (discover:\n"
	"when none answered), 2 for bad usage.";

bool verbose = false;

void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
	if (type == QtDebugMsg && !verbose)
		return;
	std::fprintf(stderr, "%s\n", qPrintable(message));
}

struct Step {
	QString name;
	const ViscaOperations::Operation *operation;
	ViscaOperations::Values values;
};

struct Invocation {
	quint16 port = viscaIpModule::kViscaPort;
	CameraDialect dialect = CameraDialect::ViscaOverIp;
	QString model; // empty: identify the camera
	QString address;
	bool identify = false;
	bool discover = false;
	QList<Step> steps;
};

// The tool's options; the parser keeps references to them, so they live as long as it does.
struct Options {
	QCommandLineOption port{QStringLiteral("port"),
				QStringLiteral("Camera port (default: the dialect's, 52381 for visca-ip)."),
				QStringLiteral("P")};
	QCommandLineOption dialect{
		QStringLiteral("dialect"),
		QStringLiteral("How the camera speaks: visca-ip (default), visca-udp (bare VISCA in UDP "
			       "datagrams, port 1259) or visca-tcp (bare VISCA on TCP, port 5678)."),
		QStringLiteral("D")};
	QCommandLineOption discoveryAddress{
		QStringLiteral("discovery-address"),
		QStringLiteral("Probe only the IPv4 address A (sets KAVREN_DISCOVERY_ADDRESS)."), QStringLiteral("A")};
	QCommandLineOption model{QStringLiteral("model"),
				 QStringLiteral("Skip identification and talk to the camera as model NAME."),
				 QStringLiteral("NAME")};
	QCommandLineOption profiles{QStringLiteral("profiles"), QStringLiteral("Folder of the capability profiles."),
				    QStringLiteral("DIR")};
	QCommandLineOption verbose{QStringLiteral("verbose"), QStringLiteral("Show the camera link's debug log.")};
	QCommandLineOption list{QStringLiteral("list"), QStringLiteral("List the operations and exit.")};
};

void describe(QCommandLineParser &parser, const Options &options)
{
	parser.setApplicationDescription(QString::fromLatin1(kDescription));
	parser.addHelpOption();
	parser.addOptions({options.port, options.dialect, options.discoveryAddress, options.model, options.profiles,
			   options.verbose, options.list});
	parser.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("IPv4 address of the camera."),
				     QStringLiteral("ADDRESS|discover"));
	parser.addPositionalArgument(QStringLiteral("OPERATION"),
				     QStringLiteral("identify, or an operation of --list with its VALUEs."),
				     QStringLiteral("[OPERATION [VALUE]...]..."));
}

// The help text, its usage line naming the tool however the shell reached it.
QString helpText(const QCommandLineParser &parser)
{
	const QString usage = QStringLiteral("Usage: ");
	QString text = parser.helpText();
	const int nameEnd = text.indexOf(QLatin1String(" [options]"));
	if (text.startsWith(usage) && nameEnd > 0)
		text.replace(usage.size(), nameEnd - usage.size(), QStringLiteral("kavren-visca"));
	return text;
}

int usageError(const QCommandLineParser &parser, const QString &why)
{
	std::fprintf(stderr, "kavren-visca: %s\n\n%s", qPrintable(why), qPrintable(helpText(parser)));
	return ExitUsage;
}

std::optional<long long> parseValue(const QString &text)
{
	bool ok = false;
	const long long value = text.toLongLong(&ok, 0);
	if (!ok)
		return std::nullopt;
	return value;
}

// Applies the options. Returns an exit code when the tool should stop at once.
std::optional<int> applyOptions(const QCommandLineParser &parser, const Options &options, Invocation &inv)
{
	if (parser.isSet(QStringLiteral("help"))) {
		std::fputs(qPrintable(helpText(parser)), stdout);
		return ExitOk;
	}
	if (parser.isSet(options.list)) {
		for (const auto &entry : ViscaOperations::table())
			std::printf("%s %d\n", qPrintable(entry.first), entry.second.valueCount);
		return ExitOk;
	}
	verbose = parser.isSet(options.verbose);
	if (parser.isSet(options.dialect)) {
		const std::optional<CameraDialect> dialect =
			CameraEndpoint::dialectNamed(parser.value(options.dialect));
		if (!dialect)
			return usageError(parser, QStringLiteral("bad dialect: ") + parser.value(options.dialect));
		inv.dialect = *dialect;
		inv.port = CameraEndpoint::defaultPort(*dialect);
	}
	if (parser.isSet(options.port)) {
		const QString value = parser.value(options.port);
		const auto port = parseValue(value);
		if (!port || *port < 1 || *port > 65535)
			return usageError(parser, QStringLiteral("bad port: ") + value);
		inv.port = static_cast<quint16>(*port);
	}
	inv.model = parser.value(options.model);
	if (parser.isSet(options.discoveryAddress)) {
		const QString value = parser.value(options.discoveryAddress);
		if (QHostAddress(value).protocol() != QAbstractSocket::IPv4Protocol)
			return usageError(parser, QStringLiteral("not an IPv4 address: ") + value);
		qputenv(OnvifDiscovery::kAddressVariable, value.toLatin1());
	}
	// Given on the command line, it outranks every other setting, as the environment variable does.
	if (parser.isSet(options.profiles))
		qputenv("KAVREN_PROFILE_DIR", QFile::encodeName(parser.value(options.profiles)));
	return std::nullopt;
}

// Reads the address and the operations with their values. Every operation and value is checked before the first
// datagram leaves.
std::optional<int> parseOperations(const QCommandLineParser &parser, Invocation &inv)
{
	const QStringList args = parser.positionalArguments();
	// The network search needs no address: it is how the addresses are found.
	if (!args.isEmpty() && args.first() == QLatin1String("discover")) {
		if (args.size() > 1)
			return usageError(parser, QStringLiteral("discover takes no further arguments: ") + args.at(1));
		inv.discover = true;
		return std::nullopt;
	}
	int i = 0;
	if (i >= args.size())
		return usageError(parser, QStringLiteral("missing camera address"));
	inv.address = args[i++];
	if (QHostAddress(inv.address).protocol() != QAbstractSocket::IPv4Protocol)
		return usageError(parser, QStringLiteral("not an IPv4 address: ") + inv.address);
	if (i >= args.size())
		return usageError(parser, QStringLiteral("missing operation"));

	while (i < args.size()) {
		const QString name = args[i++];
		if (name == QLatin1String("identify")) {
			inv.identify = true;
			continue;
		}
		const auto found = ViscaOperations::table().find(name);
		if (found == ViscaOperations::table().end())
			return usageError(parser, QStringLiteral("unknown operation: ") + name);
		Step step{name, &found->second, {}};
		for (int n = 0; n < step.operation->valueCount; ++n) {
			if (i >= args.size())
				return usageError(
					parser,
					name + QStringLiteral(" needs %1 value(s)").arg(step.operation->valueCount));
			const auto value = parseValue(args[i]);
			if (!value)
				return usageError(parser, QStringLiteral("bad value for ") + name +
								  QStringLiteral(": ") + args[i]);
			// The link would clamp a value outside its field and send another one than was asked.
			const ViscaField *field = n == 0 ? step.operation->field : nullptr;
			if (field && (*value < field->min || *value > field->max))
				return usageError(parser, QStringLiteral("%1 takes a %2 from %3 to %4, not %5")
								  .arg(name, QLatin1String(field->name))
								  .arg(field->min)
								  .arg(field->max)
								  .arg(args[i]));
			step.values.push_back(*value);
			++i;
		}
		inv.steps.append(step);
	}
	return std::nullopt;
}

std::optional<int> parseArguments(const QStringList &arguments, Invocation &inv)
{
	QCommandLineParser parser;
	const Options options;
	describe(parser, options);
	if (!parser.parse(arguments))
		return usageError(parser, parser.errorText());
	if (const auto stop = applyOptions(parser, options, inv))
		return stop;
	return parseOperations(parser, inv);
}

void printIdentity(const QString &model, const viscaGeneralOps *ops)
{
	std::printf("model: %s\n", qPrintable(model));
	if (ops)
		std::printf("profile: %s\n",
			    qPrintable(QDir::toNativeSeparators(CameraSelect::profilePathFor(ops->getNAME()))));
	else
		std::printf("profile: none\n");
}

// One search, then every camera that answered is identified in the order of its first answer.
int discover(const Invocation &inv)
{
	OnvifDiscovery search;
	search.discovery();
	const QList<QMap<QString, QString>> cameras = search.getCamInfoList();
	CameraParse parse(inv.port, inv.dialect);
	for (const QMap<QString, QString> &camera : cameras) {
		const QString address = camera.firstKey();
		const QString name = camera.first();
		CamParamMap identified = parse.parseCamera(address);
		QString model = QStringLiteral("?");
		if (!identified.empty()) {
			model = QString::fromStdString(identified.begin()->second.first);
			delete identified.begin()->second.second;
		}
		std::printf("%s\t%s\t%s\n", qPrintable(address), name.isEmpty() ? "-" : qPrintable(name),
			    qPrintable(model));
		std::fflush(stdout);
	}
	return cameras.isEmpty() ? ExitCameraFailed : ExitOk;
}

int run(const Invocation &inv)
{
	if (inv.discover)
		return discover(inv);

	// The model the link is chosen for: the capability object's model when there is one, since an unlisted
	// code ("Unknown") stands for the default model.
	QString linkModel = inv.model;
	std::unique_ptr<viscaGeneralOps> ops;

	if (inv.model.isEmpty()) {
		CameraParse parse(inv.port, inv.dialect);
		CamParamMap identified = parse.parseCamera(inv.address);
		if (identified.empty()) {
			std::fprintf(stderr, "kavren-visca: no camera identified at %s port %u\n",
				     qPrintable(inv.address), inv.port);
			return ExitCameraFailed;
		}
		const auto &entry = identified.begin()->second;
		ops.reset(entry.second);
		const QString identifiedModel = QString::fromStdString(entry.first);
		linkModel = ops ? QString::fromStdString(ops->getNAME()) : identifiedModel;
		if (inv.identify)
			printIdentity(identifiedModel, ops.get());
	} else if (inv.identify) {
		CameraSelect select;
		ops.reset(select.getCamParam(inv.model.toStdString()));
		printIdentity(inv.model, ops.get());
	}
	std::fflush(stdout);
	if (inv.steps.isEmpty())
		return ExitOk;

	const std::unique_ptr<viscaIpModule> link = ViscaIPFactory::viscaIPModule(linkModel);
	// The connect probe is not required to succeed: some models leave the address-set probe unanswered.
	link->setDialect(inv.dialect);
	link->onConnectToCamera(inv.address, inv.port);

	int result = ExitOk;
	for (const Step &step : inv.steps) {
		const long long answer = step.operation->run(*link, step.values);
		bool ok = true;
		switch (step.operation->kind) {
		case ViscaOperations::Kind::Store:
			break;
		case ViscaOperations::Kind::Command:
			ok = !step.operation->sends(step.values) || link->lastExchangeOk();
			break;
		case ViscaOperations::Kind::Inquiry:
			ok = link->lastExchangeOk();
			std::printf("%lld\n", answer);
			break;
		case ViscaOperations::Kind::Probe:
			ok = answer != 0;
			std::printf("%lld\n", answer);
			break;
		}
		std::fflush(stdout);
		if (!ok) {
			std::fprintf(stderr, "kavren-visca: %s: the camera refused or did not answer\n",
				     qPrintable(step.name));
			result = ExitCameraFailed;
		}
	}
	return result;
}

} // namespace

int main(int argc, char *argv[])
{
	// A command-line tool owns its process, so it may decide what the log shows. Standard output carries only
	// the tool's answers.
	qInstallMessageHandler(quietMessages);
	QCoreApplication app(argc, argv);

	QCoreApplication::setApplicationName(QStringLiteral("kavren-visca"));
#if !defined(Q_OS_MACOS)
	// Installed beside the module: <prefix>/bin/kavren-visca and <prefix>/share/obs/obs-plugins/<module>/ini/.
	// Not installed (run from the build folder), the profiles of the tree it was built from.
	const QString installed = QCoreApplication::applicationDirPath() +
				  QStringLiteral("/../share/obs/obs-plugins/kavren-camera-controller/ini/");
	setInstalledProfileDirectory(QDir(installed).exists() ? installed : QStringLiteral(KAVREN_TREE_PROFILES));
#endif

	Invocation inv;
	if (const auto stop = parseArguments(app.arguments(), inv))
		return *stop;
	return run(inv);
}
