#pragma once

#include <QAbstractItemModel>

#include <memory>
#include <string>
#include <vector>

#include "document/AppDelegate.h"

namespace quorvel {
class MetadataValue;
}

namespace quorvel::ui {

// The all-tags outline: one top row per key of the selection's merged
// values (its first value, or the multiple-values placeholder), and, for a
// key with several values, one child row per value. Rows map to the
// controller's AllTagsRow (key, value index, child or not).
class AllTagsModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  static constexpr int PreviewRole = Qt::UserRole + 1;
  static constexpr int PlaceholderRole = Qt::UserRole + 2;

  explicit AllTagsModel(AppDelegate& delegate, QObject* parent = nullptr);

  // Takes the controller's merged values again.
  void refresh();
  AppDelegate::AllTagsRow rowFor(const QModelIndex& index) const;
  QModelIndex indexForKey(const std::string& key) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 Q_SIGNALS:
  void rowEdited(const AppDelegate::AllTagsRow& row, const QString& text);

 private:
  struct Entry {
    std::string key;
    std::shared_ptr<MetadataValue> value;
    bool marker = false;
    std::size_t count = 0;  // values; children exist when more than one
  };
  // internalId: 0 for top rows, parent row + 1 for child rows.
  const Entry* entryFor(const QModelIndex& index) const;
  QString valueText(const Entry& entry, std::size_t valueIndex) const;

  AppDelegate& delegate_;
  std::vector<Entry> entries_;
};

}  // namespace quorvel::ui
