#include "SimModels.h"

namespace {

SimModel row(const char *code, const char *name, SimIdentityFamily family, SimLinkClass linkClass, quint16 versionModel)
{
	SimModel m;
	m.name = QString::fromLatin1(name);
	m.idCode = QString::fromLatin1(code);
	m.family = family;
	m.linkClass = linkClass;
	m.versionModel = versionModel;
	return m;
}

QList<SimModel> buildTable()
{
	using F = SimIdentityFamily;
	using L = SimLinkClass;
	// The version reply's model field: for ZQ418 cameras its low twelve bits carry the code digits the
	// identification reads; the other models get 0x07nn values that can never be taken for those digits.
	return {
		row("KBA", "NX-B93K", F::J57, L::Base, 0x0700),     row("", "NX-HX7", F::HX7, L::HX7, 0x0701),
		row("543", "NX-ZQ418", F::ZQ418, L::ZQ418, 0x0543), row("610", "NX-ZQ418S", F::ZQ418, L::ZQ418, 0x0610),
		row("KDA", "NX-D26G", F::D26G, L::D26G, 0x0704),    row("KDB", "NX-D26GS", F::D26G, L::D26G, 0x0705),
		row("KDC", "NX-D28G", F::D26G, L::D26G, 0x0706),    row("KDD", "NX-HX9", F::D26G, L::D26G, 0x0707),
		row("KDE", "NX-D28G4K", F::D26G, L::D26G, 0x0708),  row("KJA", "NX-J57", F::J57, L::Base, 0x0709),
		row("KJB", "NX-J57S", F::J57, L::Base, 0x0710),     row("KJC", "NX-J57U", F::J57, L::Base, 0x0711),
		row("KJD", "NX-J20", F::J57, L::Base, 0x0712),      row("KJE", "NX-J30", F::J57, L::Base, 0x0713),
		row("KWA", "NX-W38B", F::W38B, L::Base, 0x0714),    row("KWB", "NX-W38BS", F::W38B, L::Base, 0x0715),
		row("KWC", "NX-W20", F::W38B, L::Base, 0x0716),     row("KWD", "NX-W12", F::W38B, L::Base, 0x0717),
		row("KBB", "NX-B93", F::J57, L::Base, 0x0718),      row("KBC", "NX-B60", F::J57, L::Base, 0x0719),
		row("KBD", "NX-B60K", F::J57, L::Base, 0x0720),     row("KBE", "NX-B30", F::J57, L::Base, 0x0721),
		row("KFA", "NX-F64", F::J57, L::Base, 0x0722),      row("KFB", "NX-F64K", F::J57, L::Base, 0x0723),
		row("KHA", "NX-H12", F::W38B, L::Base, 0x0724),     row("KHB", "NX-H20", F::W38B, L::Base, 0x0725),
	};
}

} // namespace

namespace SimModels {

const QList<SimModel> &all()
{
	static const QList<SimModel> table = buildTable();
	return table;
}

SimModel byName(const QString &name)
{
	for (const SimModel &m : all()) {
		if (m.name == name)
			return m;
	}
	for (const SimModel &m : all()) {
		if (m.name.compare(name, Qt::CaseInsensitive) == 0)
			return m;
	}
	SimModel unlisted = row(unlistedCode(), "", SimIdentityFamily::J57, SimLinkClass::Base, 0x0799);
	unlisted.name = name;
	unlisted.listed = false;
	return unlisted;
}

QString familyName(SimIdentityFamily family)
{
	switch (family) {
	case SimIdentityFamily::HX7:
		return QStringLiteral("HX7");
	case SimIdentityFamily::J57:
		return QStringLiteral("J57");
	case SimIdentityFamily::D26G:
		return QStringLiteral("D26G");
	case SimIdentityFamily::W38B:
		return QStringLiteral("W38B");
	case SimIdentityFamily::ZQ418:
		return QStringLiteral("ZQ418");
	}
	return QString();
}

QString linkClassName(SimLinkClass linkClass)
{
	switch (linkClass) {
	case SimLinkClass::Base:
		return QStringLiteral("viscaIpModule");
	case SimLinkClass::D26G:
		return QStringLiteral("D26GViscaIPModule");
	case SimLinkClass::HX7:
		return QStringLiteral("HX7ViscaIPModule");
	case SimLinkClass::ZQ418:
		return QStringLiteral("ZQ418ViscaIPModule");
	}
	return QString();
}

} // namespace SimModels
