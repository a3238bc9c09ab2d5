#pragma once

#include <QAbstractTableModel>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "document/ErrorLogWindowController.h"

namespace quorvel::ui {

// The shared error log as a two-column table (date, message). The log is
// written from worker threads; each change only posts a refresh to the main
// thread, where the model takes a fresh copy of the entries.
class ErrorLogModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ErrorLogModel(QObject* parent = nullptr);
  ~ErrorLogModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Takes a fresh copy of the log. Main thread.
  void reload();

 private:
  std::vector<ErrorLogWindowController::Entry> entries_;
  std::uint64_t observer_ = 0;
  std::shared_ptr<std::atomic<bool>> reloadPosted_;
};

}  // namespace quorvel::ui
