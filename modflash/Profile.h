// The program's per-user profile: an INI file under the user's configuration
// folder, in the folder named by the profile key the application sets.
#pragma once

#include <QString>

namespace modflash {

// The profile key (a folder under the configuration folder) and the file in
// it; the application sets the key once at start.
void SetRegistryKey(const QString& key);
QString ProfileFilePath();

int GetProfileInt(const QString& section, const QString& entry, int defaultValue);
void WriteProfileInt(const QString& section, const QString& entry, int value);

}  // namespace modflash
