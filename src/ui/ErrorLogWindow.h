#pragma once

#include <QWidget>

class QTableView;

namespace quorvel::ui {

class ErrorLogModel;

// The "Error Log" window: every failure of the operations over many files,
// with Save (a ".log" text file), Clear and Mail Report.
class ErrorLogWindow : public QWidget {
  Q_OBJECT

 public:
  explicit ErrorLogWindow(QWidget* parent = nullptr);

  // Shows the window and brings it to the front.
  void showAndRaise();

 private:
  void save();
  void mailReport();
  void resizeRows();

  ErrorLogModel* model_;
  QTableView* table_;
};

}  // namespace quorvel::ui
