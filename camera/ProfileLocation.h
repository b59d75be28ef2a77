#pragma once

#include <QString>

// Where the capability profiles live. The one place that knows it:
//  - the environment variable KAVREN_PROFILE_DIR, when set, overrides everything (tests, tools, packaging);
//  - on macOS, the system-wide folder "Library/Application Support/obs-studio/ini/" below the file-system root;
//  - elsewhere, the module's installed data folder "ini/", which the plug-in sets at load. Until it does, the
//    system-wide folder above is used, so that a host without the setting behaves like the macOS host.

// Sets the folder of the installed profiles (the plug-in passes its module data folder + "ini/").
void setInstalledProfileDirectory(const QString &dir);

// The profile folder, always ending with "/".
QString profileDirectory();
