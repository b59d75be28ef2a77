#pragma once

#include <QList>
#include <QMap>

#include <string>

// The order a capability value list (label -> value the camera expects) is offered in: by value, as the camera
// counts, not by label.
namespace ValueOrder {

// The keys of `map` by ascending value; keys with equal values come in no particular order.
QList<std::string> keysByValue(const QMap<std::string, int> &map);

} // namespace ValueOrder
