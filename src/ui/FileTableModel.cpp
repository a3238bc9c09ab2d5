#include "ui/FileTableModel.h"

#include <QApplication>
#include <QDateTime>
#include <QLocale>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <map>

#include "document/AppDelegate.h"
#include "document/BitrateFormatter.h"
#include "document/FileSizeFormatter.h"
#include "document/MetadataFunctionController.h"
#include "document/SampleRateFormatter.h"
#include "document/SecondsFormatter.h"
#include "model/TagKeys.h"
#include "ui/QtConversions.h"
#include "ui/Theme.h"

namespace quorvel::ui {

namespace {

const std::map<std::string, const char*>& sourceTitles() {
  static const std::map<std::string, const char*> titles = {
      {"_BITRATE", QT_TRANSLATE_NOOP("FileTableModel", "Bit Rate")},
      {"_BITRATEMETHOD", QT_TRANSLATE_NOOP("FileTableModel", "Bit Rate Mode")},
      {"_CHANNELMODE", QT_TRANSLATE_NOOP("FileTableModel", "Channel Mode")},
      {"_CHANNELS", QT_TRANSLATE_NOOP("FileTableModel", "Channels")},
      {"_FILEDATECREATED", QT_TRANSLATE_NOOP("FileTableModel", "Date Created")},
      {"_FILEDATEMODIFIED", QT_TRANSLATE_NOOP("FileTableModel", "Date Modified")},
      {"_FILEEXTENSION", QT_TRANSLATE_NOOP("FileTableModel", "Extension")},
      {"_FILEFORMAT", QT_TRANSLATE_NOOP("FileTableModel", "Format")},
      {"_FILEFULLPATH", QT_TRANSLATE_NOOP("FileTableModel", "Path")},
      {"_FILEKIND", QT_TRANSLATE_NOOP("FileTableModel", "Kind")},
      {"_FILELENGTH", QT_TRANSLATE_NOOP("FileTableModel", "Length")},
      {"_FILENAME", QT_TRANSLATE_NOOP("FileTableModel", "File Name")},
      {"_FILESIZE", QT_TRANSLATE_NOOP("FileTableModel", "Size")},
      {"_SAMPLERATE", QT_TRANSLATE_NOOP("FileTableModel", "Sample Rate")},
      {"_SAMPLESIZE", QT_TRANSLATE_NOOP("FileTableModel", "Sample Size")},
      {"_TAGFORMAT", QT_TRANSLATE_NOOP("FileTableModel", "Tag Format")},
  };
  return titles;
}

bool isNumericSourceKey(const std::string& key) {
  return key == "_BITRATE" || key == "_SAMPLERATE" || key == "_FILESIZE" || key == "_FILELENGTH" ||
         key == "_CHANNELS" || key == "_SAMPLESIZE";
}

}  // namespace

FileTableModel::FileTableModel(AppDelegate& delegate, QObject* parent)
    : QAbstractTableModel(parent),
      delegate_(delegate),
      columns_(defaultColumns()),
      needsSavingIcon_(Theme::needsSavingIcon(QApplication::palette())),
      hasArtworkIcon_(Theme::hasArtworkIcon(QApplication::palette())) {}

std::vector<std::string> FileTableModel::defaultColumns() {
  return {AppDelegate::kNeedsSavingColumnIdentifier,
          AppDelegate::kHasArtworkColumnIdentifier,
          "_FILENAME",
          "TRACKNUMBER",
          "TRACKTITLE",
          "TRACKARTIST",
          "ALBUM",
          "YEAR",
          "GENRE",
          "_FILELENGTH",
          "_BITRATE"};
}

std::vector<std::string> FileTableModel::availableColumns() {
  std::vector<std::string> keys = allTagKeys();
  keys.erase(std::remove(keys.begin(), keys.end(), std::string("ARTWORK")), keys.end());
  std::stable_sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
    return QString::localeAwareCompare(columnTitle(a), columnTitle(b)) < 0;
  });
  for (const auto& key : allSourceKeys()) {
    keys.push_back(key);
  }
  return keys;
}

QString FileTableModel::columnTitle(const std::string& key) {
  if (key == AppDelegate::kNeedsSavingColumnIdentifier) {
    return tr("Needs Saving");
  }
  if (key == AppDelegate::kHasArtworkColumnIdentifier) {
    return tr("Has Artwork");
  }
  if (auto it = sourceTitles().find(key); it != sourceTitles().end()) {
    return tr(it->second);
  }
  if (key == "WORK") {
    return tr("Work");
  }
  return toQString(tagDisplayName(key)).trimmed();
}

bool FileTableModel::isIndicatorColumn(const std::string& key) {
  return key == AppDelegate::kNeedsSavingColumnIdentifier ||
         key == AppDelegate::kHasArtworkColumnIdentifier;
}

int FileTableModel::columnOfKey(const std::string& key) const {
  auto it = std::find(columns_.begin(), columns_.end(), key);
  return it == columns_.end() ? -1 : static_cast<int>(it - columns_.begin());
}

void FileTableModel::setColumns(std::vector<std::string> columns) {
  beginResetModel();
  columns_ = std::move(columns);
  endResetModel();
}

bool FileTableModel::recordsAreBusy() const { return delegate_.recordsAreBusy(); }

void FileTableModel::refresh() {
  const auto& arranged = delegate_.metadataArrayController().arrangedObjects();
  if (arranged == rows_) {
    redrawValues();
    return;
  }
  beginResetModel();
  rows_ = arranged;
  if (!recordsAreBusy()) {
    cache_.clear();
  }
  endResetModel();
}

void FileTableModel::redrawValues() {
  if (!recordsAreBusy()) {
    cache_.clear();
  }
  if (!rows_.empty() && !columns_.empty()) {
    Q_EMIT dataChanged(index(0, 0), index(static_cast<int>(rows_.size()) - 1,
                                          static_cast<int>(columns_.size()) - 1));
  }
}

AudioMetadataPtr FileTableModel::recordAt(int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size())) {
    return nullptr;
  }
  return rows_[static_cast<std::size_t>(row)];
}

int FileTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FileTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

FileTableModel::RowCache* FileTableModel::rowCache(int row) const {
  const auto& record = rows_[static_cast<std::size_t>(row)];
  auto [it, inserted] = cache_.try_emplace(record.get());
  if (inserted) {
    it->second.record = record;
  }
  return &it->second;
}

QString FileTableModel::formatSource(const std::string& key, const Object& value) const {
  if (value.isNone()) {
    return {};
  }
  if (key == "_BITRATE") {
    return toQString(BitrateFormatter().stringForObjectValue(value));
  }
  if (key == "_SAMPLERATE") {
    return toQString(SampleRateFormatter().stringForObjectValue(value));
  }
  if (key == "_FILESIZE") {
    return toQString(FileSizeFormatter().stringForObjectValue(value));
  }
  if (key == "_FILELENGTH") {
    return toQString(SecondsFormatter().stringForObjectValue(value));
  }
  if ((key == "_FILEDATECREATED" || key == "_FILEDATEMODIFIED") && value.isNumber()) {
    const double seconds = value.number().doubleValue();
    if (!std::isfinite(seconds)) {
      return {};
    }
    const auto date = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(seconds * 1000));
    return QLocale().toString(date, QLocale::ShortFormat);
  }
  return displayText(value);
}

const FileTableModel::Cell* FileTableModel::cell(int row, const std::string& key) const {
  RowCache* cache = rowCache(row);
  if (auto it = cache->cells.find(key); it != cache->cells.end()) {
    return &it->second;
  }
  if (recordsAreBusy()) {
    return nullptr;  // never read a record a worker holds
  }
  const auto value =
      delegate_.functionController().cellValue(static_cast<std::size_t>(row), *cache->record, key);
  if (!value) {
    return nullptr;
  }
  Cell cell;
  cell.preview = value->isPreview;
  if (!key.empty() && key.front() == '_') {
    cell.text = formatSource(key, value->value);
    cell.editText = key == "_FILENAME" ? displayText(value->value) : cell.text;
  } else {
    cell.text = displayText(value->value);
    // Only the first line of a multi-line value fits a row.
    if (const auto newline = cell.text.indexOf(QLatin1Char('\n')); newline >= 0) {
      cell.editText = cell.text;
      cell.text = cell.text.left(newline) + QStringLiteral(" …");
    } else {
      cell.editText = cell.text;
    }
  }
  return &cache->cells.emplace(key, std::move(cell)).first->second;
}

QVariant FileTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
    return {};
  }
  const std::string& key = columns_[static_cast<std::size_t>(index.column())];
  if (isIndicatorColumn(key)) {
    RowCache* cache = rowCache(index.row());
    const bool savingColumn = key == AppDelegate::kNeedsSavingColumnIdentifier;
    int& flag = savingColumn ? cache->needsSaving : cache->hasArtwork;
    if (flag < 0 && !recordsAreBusy()) {
      flag =
          savingColumn ? cache->record->metadataNeedsSaving() : cache->record->metadataHasArtwork();
    }
    if (role == Qt::DecorationRole && flag > 0) {
      return savingColumn ? needsSavingIcon_ : hasArtworkIcon_;
    }
    if (role == Qt::ToolTipRole && flag > 0) {
      return savingColumn ? tr("Needs saving") : tr("Has artwork");
    }
    if (role == Qt::TextAlignmentRole) {
      return Qt::AlignCenter;
    }
    return {};
  }
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole:
    case PreviewRole: {
      const Cell* c = cell(index.row(), key);
      if (c == nullptr) {
        return role == PreviewRole ? QVariant(false) : QVariant(QString());
      }
      if (role == PreviewRole) {
        return c->preview;
      }
      if (role == Qt::EditRole) {
        return c->editText;
      }
      if (role == Qt::ToolTipRole) {
        if (key == "_FILENAME") {
          const auto& record = rows_[static_cast<std::size_t>(index.row())];
          if (!recordsAreBusy() && record->sourceLocation()) {
            return toQString(*record->sourceLocation());
          }
        }
        return c->editText.isEmpty() || c->editText == c->text ? QVariant() : c->editText;
      }
      return c->text;
    }
    case Qt::TextAlignmentRole:
      if (isNumericSourceKey(key)) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      }
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant FileTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  const std::string& key = columns_[static_cast<std::size_t>(section)];
  switch (role) {
    case Qt::DisplayRole:
      return isIndicatorColumn(key) ? QVariant() : QVariant(columnTitle(key));
    case Qt::DecorationRole:
      if (key == AppDelegate::kNeedsSavingColumnIdentifier) {
        return needsSavingIcon_;
      }
      if (key == AppDelegate::kHasArtworkColumnIdentifier) {
        return hasArtworkIcon_;
      }
      return {};
    case Qt::ToolTipRole: {
      if (isIndicatorColumn(key) || key.starts_with("_")) {
        return columnTitle(key);
      }
      const QString description = toQString(tagDescription(key));
      return description == toQString(key) ? columnTitle(key)
                                           : columnTitle(key) + QStringLiteral("\n") + description;
    }
    case KeyRole:
      return toQString(key);
    default:
      return {};
  }
}

Qt::ItemFlags FileTableModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (!index.isValid()) {
    return flags;
  }
  const std::string& key = columns_[static_cast<std::size_t>(index.column())];
  // Source properties are read-only, except the file name, which renames.
  // While previews show, nothing is edited.
  const bool editable = !isIndicatorColumn(key) && (!key.starts_with("_") || key == "_FILENAME") &&
                        !delegate_.previewMode() && !recordsAreBusy();
  if (editable) {
    flags |= Qt::ItemIsEditable;
  }
  return flags;
}

bool FileTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid()) {
    return false;
  }
  const std::string& key = columns_[static_cast<std::size_t>(index.column())];
  const QString text = value.toString();
  if (const Cell* c = cell(index.row(), key); c != nullptr && c->editText == text) {
    return false;  // unchanged: no undo step for nothing
  }
  Q_EMIT cellEdited(index.row(), toQString(key), text);
  return true;
}

void FileTableModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= columnCount()) {
    return;
  }
  const std::string& key = columns_[static_cast<std::size_t>(column)];
  if (isIndicatorColumn(key) || recordsAreBusy()) {
    return;
  }
  auto& controller = delegate_.metadataArrayController();
  const bool ascending = order == Qt::AscendingOrder;
  const auto& current = controller.sortDescriptors();
  if (current.size() == 1 && current.front().key == key && current.front().ascending == ascending) {
    return;
  }
  // A reset rather than a layout change: the window selects the controller's
  // selection again afterwards, and positions of preview values change too.
  beginResetModel();
  controller.setSortDescriptors({{key, ascending}});
  rows_ = controller.arrangedObjects();
  cache_.clear();
  endResetModel();
  Q_EMIT sortChanged();
}

}  // namespace quorvel::ui
