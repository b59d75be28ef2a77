#pragma once

#include "settings/SettingsFile.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

// The operator's names for the presets of each camera, 1 to 19. A slot keeps its own under the settings key
// "Camera<n>PresetNames", an object from preset number to name ({"1": "Wide", "12": "Pulpit"}); a preset it does
// not list has no name. Earlier versions kept one set of names for presets 1 to 9, shared by every camera, under
// the top-level keys "1" ... "9": a slot without names of its own reads those, and they stay in the file as they
// are, so a slot renamed once keeps its own names and every other slot still reads the shared ones.
namespace PresetNames {

constexpr int kFirstPreset = SettingsFile::kFirstPreset;
constexpr int kLastPreset = SettingsFile::kLastPreset;

QString key(int slot);

// The names of `slot`'s presets 1 to 19 (the name of preset n at n - 1), empty where a preset has none. Slot 0,
// no camera, reads the shared names.
QStringList read(const QJsonObject &settings, int slot);
// What a preset button shows: the preset's name, or its number when it has none.
QString caption(const QStringList &names, int preset);
// Gives `slot` the names of its presets 1 to 19 (`names` as read() returns them), keeping every other key.
void store(QJsonObject &settings, int slot, const QStringList &names);

} // namespace PresetNames
