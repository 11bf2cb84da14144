// The configuration file: an INI file with the controller section "Config0",
// the name section "Node_0" and one section per present slot. Saving writes
// ConfigReal; loading resets ConfigReal, reads the file into it and hands it
// to ConfigSetting. The file commands drive the main window through the
// FileCommandsHost (FileCommandsHost.h) and show their errors through
// rt::TheDialogs().
#pragma once

#include <cstdint>
#include <string>

// The current configuration-file path.
extern std::string McuIniPath;
// Sets McuIniPath to programFolder + "/NX-4410_MCU.ini".
void InitMcuIniPath(const std::string& programFolder);

// Writes ConfigReal(node) into the file `path`. The file is built in memory,
// written to a temporary file beside the target and renamed over it, so a
// failure leaves an existing file as it was. Raises rt::RuntimeError on
// failure and reports nothing itself.
void SaveConfigFile(const int16_t& node, const std::string& path);

// Replaces the file `path` by `text`: a temporary file in the same folder
// is written, flushed to the disk and renamed over the target, so the old
// file stays whole when any step fails. Raises rt::RuntimeError on failure.
void ReplaceFile(const std::string& path, const std::string& text);

// Reads the file `path` into ConfigReal(node) (without resetting it first)
// and updates the slot buttons, the analog-output frame and the rack
// caption through the host. Never fails: a missing or unreadable file reads
// as a file without keys, and a key that cannot be stored is skipped.
void LoadConfigFile(const int16_t& node, const std::string& path);

// "Save setting": saves to McuIniPath. A failure is shown in a message box;
// its text is returned (empty when the file was written).
std::string mnuFileSave_Click();
// "Save setting as ...": asks for a file name, makes it McuIniPath, saves.
void mnuFileSaveAs_Click();
// "Load setting": loads McuIniPath. A failure is shown in a message box;
// its text is returned (empty when the file was read). The file carries no
// mains frequency and no high byte of the AI filter word, and the filter
// mode only for analog input models: a slot that holds the same model after
// the load keeps the values the last Upload read where the file gives none;
// the others get the reset 0.
std::string mnuFileLoad_Click();
// "Load setting from ...": loads a file the user picks; McuIniPath stays.
// Keeps the same filter settings as "Load setting".
void mnuFileLoadFrom_Click();
