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

#include "camera/CameraParse.h"
#include "camera/CameraSelect.h"
#include "camera/ProfileLocation.h"
#include "camera/viscaGeneralOps.h"
#include "discovery/OnvifDiscovery.h"
#include "visca/ViscaIPFactory.h"
#include "visca/viscaIpModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <streambuf>
#include <memory>
#include <optional>

namespace {

enum ExitCode { ExitOk = 0, ExitCameraFailed = 1, ExitUsage = 2 };

const char *const kUsage =
	"usage: kavren-visca [options] ADDRESS identify\n"
	"       kavren-visca [options] ADDRESS OPERATION [VALUE]... [OPERATION [VALUE]...]...\n"
	"       kavren-visca [options] discover\n"
	"\n"
	"Identifies the camera at ADDRESS and runs the named operations in order on a camera link suited to its\n"
	"model. Inquiries (get...) print their decoded answer in decimal, one per line.\n"
	"\n"
	"discover runs one WS-Discovery search (40 Probes over 1.2 s to the broadcast address and the multicast\n"
	"group 239.255.255.250, UDP 3702), identifies every camera that answered and prints one line per camera:\n"
	"ADDRESS<TAB>NAME<TAB>MODEL, where NAME is the name the camera announced (- when none) and MODEL is ?\n"
	"when the camera could not be identified. The environment variable KAVREN_DISCOVERY_ADDRESS (or\n"
	"--discovery-address) names one IPv4 address to probe instead.\n"
	"\n"
	"options:\n"
	"  --port P         camera port (default 52381)\n"
	"  --discovery-address A  probe only the IPv4 address A (sets KAVREN_DISCOVERY_ADDRESS)\n"
	"  --model NAME     skip identification and talk to the camera as model NAME\n"
	"  --profiles DIR   folder of the capability profiles\n"
	"  --verbose        show the camera link's debug log\n"
	"  --list           list the operations and exit\n"
	"  --help           show this text and exit\n"
	"\n"
	"VALUEs are decimal or 0x-prefixed hexadecimal. Examples:\n"
	"  kavren-visca 192.0.2.10 identify\n"
	"  kavren-visca 192.0.2.10 setZoomDirect 16384 getZoomDirect\n"
	"  kavren-visca 192.0.2.10 setMemory1_Index 3 setMemory1_Recall\n"
	"  kavren-visca 192.0.2.10 setPanRightLimit 10 0x0990 0\n"
	"  kavren-visca --discovery-address 127.0.0.2 discover\n";

bool verbose = false;

class NullBuffer : public std::streambuf {
protected:
	int overflow(int c) override { return traits_type::not_eof(c); }
};

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
	QString model; // empty: identify the camera
	QString address;
	bool identify = false;
	bool discover = false;
	QList<Step> steps;
};

int usageError(const QString &why)
{
	std::fprintf(stderr, "kavren-visca: %s\n\n%s", qPrintable(why), kUsage);
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

// Parses the arguments after the program name. Options may stand anywhere; operation values never begin with
// "--". Returns an exit code when the tool should stop at once.
std::optional<int> parseArguments(const QStringList &all, Invocation &inv)
{
	QStringList args;
	for (int i = 0; i < all.size(); ++i) {
		const QString &opt = all[i];
		if (!opt.startsWith(QLatin1String("--"))) {
			args << opt;
			continue;
		}
		if (opt == QLatin1String("--help")) {
			std::fputs(kUsage, stdout);
			return ExitOk;
		}
		if (opt == QLatin1String("--list")) {
			for (const auto &entry : ViscaOperations::table())
				std::printf("%s %d\n", qPrintable(entry.first), entry.second.valueCount);
			return ExitOk;
		}
		if (opt == QLatin1String("--verbose")) {
			verbose = true;
			continue;
		}
		if (opt != QLatin1String("--port") && opt != QLatin1String("--model") &&
		    opt != QLatin1String("--profiles") && opt != QLatin1String("--discovery-address"))
			return usageError(QStringLiteral("unknown option: ") + opt);
		if (i + 1 >= all.size())
			return usageError(opt + QStringLiteral(" needs a value"));
		const QString value = all[++i];
		if (opt == QLatin1String("--port")) {
			const auto port = parseValue(value);
			if (!port || *port < 1 || *port > 65535)
				return usageError(QStringLiteral("bad port: ") + value);
			inv.port = static_cast<quint16>(*port);
		} else if (opt == QLatin1String("--model")) {
			inv.model = value;
		} else if (opt == QLatin1String("--discovery-address")) {
			if (QHostAddress(value).protocol() != QAbstractSocket::IPv4Protocol)
				return usageError(QStringLiteral("not an IPv4 address: ") + value);
			qputenv(OnvifDiscovery::kAddressVariable, value.toLatin1());
		} else {
			// Given on the command line, it outranks every other setting, as the environment variable does.
			qputenv("KAVREN_PROFILE_DIR", QFile::encodeName(value));
		}
	}

	int i = 0;
	// The network search needs no address: it is how the addresses are found.
	if (!args.isEmpty() && args.first() == QLatin1String("discover")) {
		if (args.size() > 1)
			return usageError(QStringLiteral("discover takes no further arguments: ") + args.at(1));
		inv.discover = true;
		return std::nullopt;
	}
	if (i >= args.size())
		return usageError(QStringLiteral("missing camera address"));
	inv.address = args[i++];
	if (QHostAddress(inv.address).protocol() != QAbstractSocket::IPv4Protocol)
		return usageError(QStringLiteral("not an IPv4 address: ") + inv.address);
	if (i >= args.size())
		return usageError(QStringLiteral("missing operation"));

	// Every operation and value is checked before the first datagram leaves.
	while (i < args.size()) {
		const QString name = args[i++];
		if (name == QLatin1String("identify")) {
			inv.identify = true;
			continue;
		}
		const auto found = ViscaOperations::table().find(name);
		if (found == ViscaOperations::table().end())
			return usageError(QStringLiteral("unknown operation: ") + name);
		Step step{name, &found->second, {}};
		for (int n = 0; n < step.operation->valueCount; ++n) {
			if (i >= args.size())
				return usageError(name +
						  QStringLiteral(" needs %1 value(s)").arg(step.operation->valueCount));
			const auto value = parseValue(args[i]);
			if (!value)
				return usageError(QStringLiteral("bad value for ") + name + QStringLiteral(": ") +
						  args[i]);
			step.values.push_back(*value);
			++i;
		}
		inv.steps.append(step);
	}
	return std::nullopt;
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
	CameraParse parse(inv.port);
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
		CameraParse parse(inv.port);
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
	// the tool's answers; what the profile reader writes there goes with the log.
	qInstallMessageHandler(quietMessages);
	NullBuffer nullBuffer;
	std::streambuf *const coutBuffer = std::cout.rdbuf(&nullBuffer);
	QCoreApplication app(argc, argv);

	QStringList args = app.arguments();
	args.removeFirst();
#if !defined(Q_OS_MACOS)
	// Installed beside the module: <prefix>/bin/kavren-visca and <prefix>/share/obs/obs-plugins/<module>/ini/.
	// Not installed (run from the build folder), the profiles of the tree it was built from.
	const QString installed = QCoreApplication::applicationDirPath() +
				  QStringLiteral("/../share/obs/obs-plugins/kavren-camera-controller/ini/");
	setInstalledProfileDirectory(QDir(installed).exists() ? installed : QStringLiteral(KAVREN_TREE_PROFILES));
#endif

	Invocation inv;
	int exitCode = 0;
	if (const auto stop = parseArguments(args, inv)) {
		exitCode = *stop;
	} else {
		if (verbose)
			std::cout.rdbuf(std::cerr.rdbuf());
		exitCode = run(inv);
	}
	std::cout.rdbuf(coutBuffer);
	return exitCode;
}
