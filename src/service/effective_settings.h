// The settings the server runs with, written out as a settings file: every
// key of every section, defaults filled in, numbers in decimal, the database
// password hidden. The program reads the text back to the same settings.
#pragma once

#include <string>

namespace qv {

class IniFile;

// The mark that stands for a password that is set.
inline constexpr const char* kHiddenPassword = "********";

// The effective settings of a file that passed the settings check.
std::string EffectiveSettingsText(const IniFile& ini);

}  // namespace qv
