#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <string>

// Text the product does not control (names from OBS, from the operator and from other programs, what a relay
// client or a device says about itself) as the log and the answers to other programs may carry it. A log line is
// read by people and parsed by tools line by line: a name with a newline must not write a line of its own, and a
// long one must not flood the log. Every place that puts such a text into a log line goes through here.
namespace OutsideText {

// How many characters of a text a log line quotes; the rest is cut off, marked by "...".
constexpr int kLoggedLength = 64;

// `text` as a log line quotes it: between double quotes, cut to `limit` characters, with quotes, backslashes and
// every control or line-break character escaped as JSON escapes them ("\n", "\u0000").
QByteArray quoted(const QString &text, int limit = kLoggedLength);
QByteArray quoted(const std::string &utf8, int limit = kLoggedLength);
// The same without the quotes, for a line that is itself someone else's words (a library's message).
QByteArray escaped(const QString &text, int limit);
// A value of the settings file as the file holds it (JSON, its escapes included), cut to 80 characters.
QByteArray shown(const QJsonValue &value);

// Whether the text holds a control or line-break character, NUL included: no name or word the product takes can
// hold one.
bool hasControl(const QString &text);
bool hasControl(const std::string &utf8);

// The text with every control or line-break character replaced by U+FFFD, for answers to other programs: a name
// stored with a NUL or a newline stays recognisable, and no part of an answer is cut short by it on its way.
QString printable(const QString &text);

} // namespace OutsideText
