#pragma once

#include <QWidget>

#include <set>
#include <string>
#include <vector>

#include "document/AppDelegate.h"

class QTreeView;
class QPushButton;

namespace quorvel::ui {

class AllTagsModel;

// Every tag of the selection as an editable outline, with buttons (and a
// context menu) to add a tag, delete the selected rows and copy the
// selected keys' metadata.
class AllTagsView : public QWidget {
  Q_OBJECT

 public:
  explicit AllTagsView(AppDelegate& delegate, QWidget* parent = nullptr);

  // Redraws from the controller's merged values, keeping expanded keys.
  void refresh();
  // The selected rows (the current row when nothing is selected), in
  // outline order.
  std::vector<AppDelegate::AllTagsRow> selectedRows() const;
  // The keys of the selected rows, each once, in row order.
  std::vector<std::string> selectedKeys() const;

 Q_SIGNALS:
  void addTagRequested(const QString& key);
  // A cell was edited; the window hands it on once the editor has closed.
  void rowEdited(const AppDelegate::AllTagsRow& row, const QString& text);
  void deleteRequested();
  void copySelectedRequested();

 private:
  void updateButtons();

  AppDelegate& delegate_;
  AllTagsModel* model_;
  QTreeView* tree_;
  QPushButton* delete_;
  QPushButton* copy_;
  std::set<std::string> expanded_;
};

}  // namespace quorvel::ui
