// A setting given in whole seconds, read strictly: a value that is not such a
// number is an error naming the file, section and key.
#pragma once

#include <string_view>

namespace qv {

class TIniFile;

// The value of section/key as seconds from 0 to maxSeconds; the default when
// the key is missing or empty. Raises qv::Exception for anything else.
int ReadSecondsSetting(const TIniFile& ini, std::string_view section, std::string_view key,
                       int defaultSeconds, int maxSeconds = 86400);

}  // namespace qv
