#include "ui/ErrorLogModel.h"

#include <QDateTime>
#include <QLocale>
#include <QMetaObject>
#include <QPointer>

#include <chrono>

#include "ui/QtConversions.h"

namespace quorvel::ui {

ErrorLogModel::ErrorLogModel(QObject* parent)
    : QAbstractTableModel(parent), reloadPosted_(std::make_shared<std::atomic<bool>>(false)) {
  QPointer<ErrorLogModel> self(this);
  auto posted = reloadPosted_;
  // Called with the log's lock held, possibly on a worker: post, never wait.
  observer_ = ErrorLogWindowController::sharedController().addObserver(
      [self, posted](ErrorLogWindowController::Change, std::size_t, std::size_t) {
        if (posted->exchange(true)) {
          return;
        }
        QMetaObject::invokeMethod(
            self.data(),
            [self, posted] {
              posted->store(false);
              if (self) {
                self->reload();
              }
            },
            Qt::QueuedConnection);
      });
  reload();
}

ErrorLogModel::~ErrorLogModel() {
  ErrorLogWindowController::sharedController().removeObserver(observer_);
}

void ErrorLogModel::reload() {
  beginResetModel();
  entries_ = ErrorLogWindowController::sharedController().errorLog();
  endResetModel();
}

int ErrorLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int ErrorLogModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant ErrorLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) {
    return {};
  }
  const auto& entry = entries_[static_cast<std::size_t>(index.row())];
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    if (index.column() == 0) {
      const auto ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(entry.date.time_since_epoch())
              .count();
      return QLocale().toString(QDateTime::fromMSecsSinceEpoch(ms), QLocale::ShortFormat);
    }
    return toQString(entry.log);
  }
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(Qt::AlignLeft | Qt::AlignTop);
  }
  return {};
}

QVariant ErrorLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
    return {};
  }
  return section == 0 ? tr("Date") : tr("Message");
}

}  // namespace quorvel::ui
