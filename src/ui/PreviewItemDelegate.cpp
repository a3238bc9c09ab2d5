#include "ui/PreviewItemDelegate.h"

#include "ui/Theme.h"

namespace quorvel::ui {

PreviewItemDelegate::PreviewItemDelegate(int previewRole, int placeholderRole, QObject* parent)
    : QStyledItemDelegate(parent), previewRole_(previewRole), placeholderRole_(placeholderRole) {}

void PreviewItemDelegate::initStyleOption(QStyleOptionViewItem* option,
                                          const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  if (previewRole_ >= 0 && index.data(previewRole_).toBool()) {
    option->palette.setColor(QPalette::Text, Theme::previewColor(option->palette));
    option->palette.setColor(QPalette::HighlightedText,
                             Theme::highlightedPreviewColor(option->palette));
  } else if (placeholderRole_ >= 0 && index.data(placeholderRole_).toBool()) {
    option->palette.setColor(QPalette::Text, option->palette.color(QPalette::PlaceholderText));
    option->font.setItalic(true);
  }
}

}  // namespace quorvel::ui
