// Fixed markup every page shares: the three head lines and the table openings.
#pragma once

#include <string_view>

namespace qv::frame {

// The titled head line is written in three pieces around the title.
inline constexpr std::string_view kTitledHeadStart =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html><head>  <meta "
    "content=\"text/html; charset=ISO-8859-1\" http-equiv=\"content-type\">  <title>";
inline constexpr std::string_view kTitledHeadEnd = "</title></head><body>";
inline constexpr std::string_view kInfoHead =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html><head><meta "
    "content=\"text/html; charset=ISO-8859-1\" http-equiv=\"content-type\"> <title>HTTP "
    "Info</title></head><body>";
inline constexpr std::string_view kBareHead =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html><head> <meta "
    "content=\"text/html; charset=ISO-8859-1\" http-equiv=\"content-type\"></head>";

inline constexpr std::string_view kColumnTable =
    "<TABLE WIDTH=100% BORDER=1 CELLPADDING=4 CELLSPACING=3><COL WIDTH=85*><COL WIDTH=85*><COL "
    "WIDTH=85*>";
inline constexpr std::string_view kPlainTable =
    "<TABLE WIDTH=100% BORDER=1 CELLPADDING=4 CELLSPACING=3>";

}  // namespace qv::frame
