#pragma once

#include <QString>

#include <functional>
#include <map>
#include <vector>

class viscaIpModule;
struct ViscaField;

// The camera operations the tool can run by name, each a thin call into the camera link.
namespace ViscaOperations {

enum class Kind {
	Store,   // stores a value in the link; nothing is sent
	Command, // one command exchange (acknowledge + completion)
	Inquiry, // one inquiry exchange; the decoded answer is printed
	Probe,   // a reachability probe; prints 1 or 0 and succeeds when the camera answered as hoped
};

using Values = std::vector<long long>;

struct Operation {
	Kind kind;
	int valueCount;
	// Runs the operation; the decoded answer for inquiries and probes, 0 otherwise.
	std::function<long long(viscaIpModule &link, const Values &values)> run;
	// Whether these values make the operation talk to the camera (some commands send nothing for some values).
	std::function<bool(const Values &values)> sends;
	// The field the first value travels in: a value outside it is refused rather than clamped. None: any value.
	const ViscaField *field = nullptr;
};

// Every operation by its name in the link's interface ("setZoomDirect", "getFocusDirect", ...).
const std::map<QString, Operation> &table();

} // namespace ViscaOperations
