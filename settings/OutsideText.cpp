#include "settings/OutsideText.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace {

bool isControl(QChar c)
{
	const QChar::Category category = c.category();
	return category == QChar::Other_Control || category == QChar::Separator_Line ||
	       category == QChar::Separator_Paragraph;
}

QString escapedText(const QString &text, int limit)
{
	QString shown;
	const int kept = int(std::min<qsizetype>(text.size(), std::max(0, limit)));
	shown.reserve(kept + 8);
	for (int i = 0; i < kept; ++i) {
		const QChar c = text.at(i);
		if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
			shown += QLatin1Char('\\') + c;
		else if (c == QLatin1Char('\n'))
			shown += QLatin1String("\\n");
		else if (c == QLatin1Char('\r'))
			shown += QLatin1String("\\r");
		else if (c == QLatin1Char('\t'))
			shown += QLatin1String("\\t");
		else if (isControl(c))
			shown += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
		else
			shown += c;
	}
	if (kept < text.size())
		shown += QLatin1String("...");
	return shown;
}

} // namespace

QByteArray OutsideText::quoted(const QString &text, int limit)
{
	return '"' + escapedText(text, limit).toUtf8() + '"';
}

QByteArray OutsideText::quoted(const std::string &utf8, int limit)
{
	return quoted(QString::fromStdString(utf8), limit);
}

QByteArray OutsideText::escaped(const QString &text, int limit)
{
	return escapedText(text, limit).toUtf8();
}

bool OutsideText::hasControl(const QString &text)
{
	return std::any_of(text.cbegin(), text.cend(), isControl);
}

bool OutsideText::hasControl(const std::string &utf8)
{
	return hasControl(QString::fromStdString(utf8));
}

QString OutsideText::printable(const QString &text)
{
	QString shown = text;
	for (QChar &c : shown)
		if (isControl(c))
			c = QChar::ReplacementCharacter;
	return shown;
}

QByteArray OutsideText::shown(const QJsonValue &value)
{
	const QByteArray text = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
	return text.mid(1, text.size() - 2).left(80);
}
