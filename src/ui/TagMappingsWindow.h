#pragma once

#include <QWidget>

#include <string>

#include "model/TagMappings.h"

class QCheckBox;
class QTableWidget;
class QTableWidgetItem;

namespace quorvel::ui {

// The tag-mappings window: one row per mappable key with its description and
// one editable cell per tag format (APE, ASF, MP4, Vorbis, INFO) holding the
// format's names for the key, separated by ", ". An edited cell is stored as
// the key's override and the format's tables are rebuilt at once; an emptied
// cell brings back the built-in names. Below, the iTunes work/movement switch.
class TagMappingsWindow : public QWidget {
  Q_OBJECT

 public:
  explicit TagMappingsWindow(QWidget* parent = nullptr);

  // Shows the window with every cell read afresh.
  void showAndRaise();

 private:
  void reload();
  void cellEdited(QTableWidgetItem* item);
  void restoreSelected();
  QString namesFor(TagFormat format, const std::string& key) const;

  QTableWidget* table_;
  QCheckBox* iTunesSwitch_;
  bool loading_ = false;
};

}  // namespace quorvel::ui
