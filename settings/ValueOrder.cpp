#include "settings/ValueOrder.h"

#include <algorithm>
#include <utility>

QList<std::string> ValueOrder::keysByValue(const QMap<std::string, int> &map)
{
	QList<std::pair<std::string, int>> pairs;
	for (auto it = map.cbegin(); it != map.cend(); ++it)
		pairs.append({it.key(), it.value()});
	std::sort(pairs.begin(), pairs.end(), [](const auto &a, const auto &b) { return a.second < b.second; });

	QList<std::string> keys;
	for (const auto &pair : pairs)
		keys.append(pair.first);
	return keys;
}
