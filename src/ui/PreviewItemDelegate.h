#pragma once

#include <QStyledItemDelegate>

namespace quorvel::ui {

// Draws cells whose model answers true for `previewRole` in the preview
// colour (its highlighted variant on selected rows), and cells answering
// true for `placeholderRole` in the palette's placeholder colour, in italics.
class PreviewItemDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  PreviewItemDelegate(int previewRole, int placeholderRole, QObject* parent = nullptr);

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  int previewRole_;
  int placeholderRole_;
};

}  // namespace quorvel::ui
