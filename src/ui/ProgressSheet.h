#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace quorvel::ui {

// The one progress panel of long operations: a message, a bar (determinate
// 0 to 100, or busy) and Cancel. Window-modal on the main window, so no other
// command can start while it is up. It cannot be closed except by its owner:
// Cancel (or Escape) only reports the wish through cancelRequested().
class ProgressSheet : public QDialog {
  Q_OBJECT

 public:
  explicit ProgressSheet(QWidget* parent);

  void setMessage(const QString& message);
  // 0 to 100.
  void setValue(double value);
  void setIndeterminate(bool indeterminate);
  // Shows the sheet with a fresh Cancel button.
  void begin(const QString& message, bool indeterminate, double value);
  void end();

 Q_SIGNALS:
  void cancelRequested();

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* message_;
  QProgressBar* bar_;
  QPushButton* cancel_;
};

}  // namespace quorvel::ui
