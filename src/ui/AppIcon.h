#pragma once

#include <QIcon>

namespace quorvel::ui {

// The application's icon, painted in code at every size (the same drawing as
// resources/icons/quorvel.svg, which desktops use; Qt would need its SVG
// plugin to read that file).
QIcon appIcon();

}  // namespace quorvel::ui
