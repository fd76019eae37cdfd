// What the property tab pages share: the heading that names the property
// above the tab bar.
#pragma once

#include <cstdint>

#include "pages/page_context.h"

namespace qv {

// The property's name (heading query) in its cell, then the tab bar with the
// context's page as the current tab, for the property the query found (0 when
// none).
void PropertyHeading(PageContext& page, int32_t requestedId);

}  // namespace qv
