#pragma once

#include <QFileDialog>
#include <QStringList>

#include <optional>
#include <string>

#include "platform/UIHost.h"

class QCheckBox;
class QComboBox;

namespace quorvel::ui {

// A save dialog with the controls of a SavePanelAccessory below the file
// chooser: a labelled pop-up and a check box. It is Qt's own dialog rather
// than the desktop's, which could not hold extra controls. Changing the
// pop-up asks the accessory again which extension to use and whether the
// check box applies, and renames the typed file to the new extension.
class AccessorySavePanel : public QFileDialog {
  Q_OBJECT

 public:
  // `accessory` must outlive the panel; it receives the person's choices.
  AccessorySavePanel(QWidget* parent, const QString& title, const QString& suggestedName,
                     SavePanelAccessory& accessory);

  // Runs the panel modally. Returns the chosen path, its extension made one
  // the accessory allows, or none when cancelled. Main thread.
  std::optional<std::string> run();
  // The path a confirmed panel would return for `path`: a known extension
  // of another choice is replaced, a missing or foreign one gets the allowed
  // extension added. Main thread.
  QString withAllowedExtension(const QString& path) const;

 private:
  void popupChanged(int index);
  // Shows the accessory's extension and check-box state again.
  void applyAccessory();
  QString currentExtension() const;

  SavePanelAccessory& accessory_;
  QComboBox* popup_;
  QCheckBox* checkbox_;
  // Every extension the pop-up's choices have allowed so far, lower case.
  QStringList knownExtensions_;
};

}  // namespace quorvel::ui
