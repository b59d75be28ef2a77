#include "LocaleTable.h"

#include "camera/viscaGeneralOps.h"
#include "settings/ModuleText.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTranslator>

namespace {

// Form texts are translation keys; the window title holds spaces, which a locale key cannot, so it stands for
// itself, as it does inside the host.
class FormTranslator : public QTranslator {
public:
	explicit FormTranslator(const LocaleTable &table) : table(table) {}

	QString translate(const char *context, const char *sourceText, const char * = nullptr, int = -1) const override
	{
		// Qt's own texts (contexts such as QPlatformTheme) are not ours to translate.
		if (!context || context[0] == 'Q' || !sourceText || !*sourceText ||
		    QByteArray(sourceText).contains(' '))
			return QString();
		const char *found = table.find(sourceText);
		return found ? QString::fromUtf8(found) : QString();
	}
	bool isEmpty() const override { return false; }

private:
	const LocaleTable &table;
};

} // namespace

LocaleTable::LocaleTable() = default;

LocaleTable::~LocaleTable()
{
	// A table kept until the program ends outlives the application, which took its translators along.
	if (formTranslator && QCoreApplication::instance())
		QCoreApplication::removeTranslator(formTranslator.get());
}

bool LocaleTable::load(const QString &path)
{
	QFile file(path);
	if (!file.open(QIODevice::ReadOnly))
		return false;
	const QRegularExpression line(QStringLiteral("^([^=\\s]+)=\"(.*)\"\\s*$"));
	while (!file.atEnd()) {
		const QRegularExpressionMatch match = line.match(QString::fromUtf8(file.readLine()));
		if (match.hasMatch())
			texts.insert(match.captured(1).toUtf8(), match.captured(2).toUtf8());
	}
	return !texts.isEmpty();
}

const char *LocaleTable::find(const char *key) const
{
	const auto it = texts.constFind(QByteArray(key));
	if (it != texts.cend())
		return it->constData();
	if (onMiss)
		onMiss(key);
	return nullptr;
}

QString LocaleTable::text(const char *key) const
{
	const char *found = find(key);
	return QString::fromUtf8(found ? found : key);
}

void LocaleTable::install()
{
	ModuleText::setLookup([this](const char *key) { return find(key); });
	viscaGeneralOps::setTextLookup([this](const std::string &key) {
		const char *found = find(key.c_str());
		return found ? std::string(found) : key;
	});
	if (!formTranslator) {
		formTranslator = std::make_unique<FormTranslator>(*this);
		QCoreApplication::installTranslator(formTranslator.get());
	}
}
