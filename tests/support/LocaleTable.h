#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>
#include <memory>

class QTranslator;

// The module's locale file ("Key="Text"" lines), read for the programs that run the widgets without the host:
// the tests and the screenshot tool. Inside the host the host's own locale table serves instead.
class LocaleTable {
public:
	// Called with every key that was looked up but is not in the table.
	using MissHandler = std::function<void(const char *key)>;

	LocaleTable();
	~LocaleTable();
	LocaleTable(const LocaleTable &) = delete;
	LocaleTable &operator=(const LocaleTable &) = delete;

	bool load(const QString &path);
	// The text of `key`, or null (after telling the miss handler) when the table has none.
	const char *find(const char *key) const;
	QString text(const char *key) const;
	bool contains(const QByteArray &key) const { return texts.contains(key); }
	// The text of `key` as stored, empty when missing (without telling the miss handler).
	QByteArray value(const QByteArray &key) const { return texts.value(key); }
	bool isEmpty() const { return texts.isEmpty(); }
	int size() const { return texts.size(); }
	void setMissHandler(MissHandler handler) { onMiss = std::move(handler); }

	// Makes this table the widgets' text lookup, the capability profiles' label lookup and the translation of
	// the forms' texts, as the host does at load. The table must outlive the widgets.
	void install();

private:
	QHash<QByteArray, QByteArray> texts;
	MissHandler onMiss;
	std::unique_ptr<QTranslator> formTranslator;
};
