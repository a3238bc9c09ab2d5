#pragma once

#include <QColor>
#include <QIcon>
#include <QPalette>

namespace quorvel::ui {

// Colours and small drawn icons. Everything follows the desktop's palette;
// the one colour of our own is the preview colour, an orange dark enough to
// read on a light base and light enough on a dark one.
class Theme {
 public:
  // True when the palette's base colour is dark.
  static bool isDark(const QPalette& palette);
  // Values a batch function would write, before it is applied.
  static QColor previewColor(const QPalette& palette);
  // The same on a selected (highlighted) row.
  static QColor highlightedPreviewColor(const QPalette& palette);
  // Dot shown in the needs-saving column.
  static QIcon needsSavingIcon(const QPalette& palette);
  // Small picture shown in the has-artwork column.
  static QIcon hasArtworkIcon(const QPalette& palette);
  // A padlock, shut or open.
  static QIcon lockIcon(const QPalette& palette, bool locked);
  // A magnifying glass for the search field.
  static QIcon searchIcon(const QPalette& palette);
};

}  // namespace quorvel::ui
