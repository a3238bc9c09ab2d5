#include "ui/AllTagsModel.h"

#include "document/MetadataFunctionController.h"
#include "model/MetadataValue.h"
#include "model/TagKeys.h"
#include "ui/QtConversions.h"

namespace quorvel::ui {

AllTagsModel::AllTagsModel(AppDelegate& delegate, QObject* parent)
    : QAbstractItemModel(parent), delegate_(delegate) {}

void AllTagsModel::refresh() {
  beginResetModel();
  entries_.clear();
  if (delegate_.metadataArrayController().selectionCount() > 0) {
    for (const auto& [key, value] : delegate_.functionController().selectionValues().values) {
      if (!value) {
        continue;
      }
      Entry entry;
      entry.key = key;
      entry.value = value;
      entry.marker = MetadataFunctionController::isMultipleValuesMarker(*value);
      entry.count = entry.marker ? 0 : value->allValues().size();
      entries_.push_back(std::move(entry));
    }
  }
  endResetModel();
}

const AllTagsModel::Entry* AllTagsModel::entryFor(const QModelIndex& index) const {
  if (!index.isValid()) {
    return nullptr;
  }
  const auto top = index.internalId() == 0 ? index.row() : static_cast<int>(index.internalId()) - 1;
  if (top < 0 || top >= static_cast<int>(entries_.size())) {
    return nullptr;
  }
  return &entries_[static_cast<std::size_t>(top)];
}

AppDelegate::AllTagsRow AllTagsModel::rowFor(const QModelIndex& index) const {
  AppDelegate::AllTagsRow row;
  if (const Entry* entry = entryFor(index)) {
    row.key = entry->key;
    row.isChild = index.internalId() != 0;
    row.valueIndex = row.isChild ? static_cast<std::size_t>(index.row()) : 0;
  }
  return row;
}

QModelIndex AllTagsModel::indexForKey(const std::string& key) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].key == key) {
      return createIndex(static_cast<int>(i), 0, quintptr{0});
    }
  }
  return {};
}

QModelIndex AllTagsModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= 2) {
    return {};
  }
  if (!parent.isValid()) {
    return row < static_cast<int>(entries_.size()) ? createIndex(row, column, quintptr{0})
                                                   : QModelIndex();
  }
  if (parent.internalId() != 0) {
    return {};  // values have no children
  }
  const Entry* entry = entryFor(parent);
  if (entry == nullptr || entry->count < 2 || row >= static_cast<int>(entry->count)) {
    return {};
  }
  return createIndex(row, column, static_cast<quintptr>(parent.row() + 1));
}

QModelIndex AllTagsModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == 0) {
    return {};
  }
  return createIndex(static_cast<int>(child.internalId()) - 1, 0, quintptr{0});
}

int AllTagsModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) {
    return static_cast<int>(entries_.size());
  }
  if (parent.internalId() != 0 || parent.column() != 0) {
    return 0;
  }
  const Entry* entry = entryFor(parent);
  return entry != nullptr && entry->count > 1 ? static_cast<int>(entry->count) : 0;
}

int AllTagsModel::columnCount(const QModelIndex& /*parent*/) const { return 2; }

QString AllTagsModel::valueText(const Entry& entry, std::size_t valueIndex) const {
  if (entry.marker) {
    return tr("Multiple Values");
  }
  if (valueIndex >= entry.value->allValues().size()) {
    return {};
  }
  return displayText(entry.value->allValues()[valueIndex]);
}

QVariant AllTagsModel::data(const QModelIndex& index, int role) const {
  const Entry* entry = entryFor(index);
  if (entry == nullptr) {
    return {};
  }
  const bool child = index.internalId() != 0;
  const std::size_t valueIndex = child ? static_cast<std::size_t>(index.row()) : 0;
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      if (index.column() == 0) {
        if (child) {
          return role == Qt::DisplayRole ? QVariant(QStringLiteral("%1").arg(valueIndex + 1))
                                         : QVariant();
        }
        return toQString(tagDisplayName(entry->key)).trimmed();
      }
      if (role == Qt::EditRole && entry->marker) {
        return QString();
      }
      return valueText(*entry, valueIndex);
    case Qt::ToolTipRole:
      if (index.column() == 0 && !child) {
        const QString description = toQString(tagDescription(entry->key));
        return description == toQString(entry->key)
                   ? toQString(entry->key)
                   : toQString(entry->key) + QStringLiteral("\n") + description;
      }
      return index.column() == 1 ? QVariant(valueText(*entry, valueIndex)) : QVariant();
    case PreviewRole:
      return index.column() == 1 && (entry->value->type() & MetadataValue::TypePreview) != 0;
    case PlaceholderRole:
      return index.column() == 1 && entry->marker;
    default:
      return {};
  }
}

QVariant AllTagsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
    return {};
  }
  return section == 0 ? tr("Tag") : tr("Value");
}

Qt::ItemFlags AllTagsModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractItemModel::flags(index);
  const Entry* entry = entryFor(index);
  if (entry == nullptr || index.column() != 1 || delegate_.previewMode() ||
      delegate_.recordsAreBusy()) {
    return flags;
  }
  // Binary values have no text to edit.
  const std::size_t valueIndex =
      index.internalId() != 0 ? static_cast<std::size_t>(index.row()) : 0;
  if (!entry->marker && valueIndex < entry->value->allValues().size() &&
      entry->value->allValues()[valueIndex].isData()) {
    return flags;
  }
  return flags | Qt::ItemIsEditable;
}

bool AllTagsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || index.column() != 1 || entryFor(index) == nullptr) {
    return false;
  }
  const QString text = value.toString();
  if (text == data(index, Qt::EditRole).toString()) {
    return false;
  }
  Q_EMIT rowEdited(rowFor(index), text);
  return true;
}

}  // namespace quorvel::ui
