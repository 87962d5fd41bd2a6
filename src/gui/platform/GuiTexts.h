#pragma once
// Texts of the language library as Qt strings.
#include <QString>

#include "lang/Strings.h"

namespace recdesk::gui {

inline QString qtext(TextId id) { return QString::fromStdString(lang::text(id)); }

}  // namespace recdesk::gui
