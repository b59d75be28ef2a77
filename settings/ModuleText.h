#pragma once

#include <QString>

#include <functional>

// The module's localized texts. Inside the host the plug-in points this at the module's locale table at load;
// tests point it at the shipped locale file. Without a lookup every key stands for itself.
namespace ModuleText {

// Returns the text for a key, or null when the table has none.
using Lookup = std::function<const char *(const char *key)>;

void setLookup(Lookup lookup);
// The localized text of `key`, or the key itself when it has none.
QString text(const char *key);

} // namespace ModuleText
