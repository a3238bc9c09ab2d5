#pragma once

#include <QAbstractTableModel>
#include <QIcon>

#include <string>
#include <unordered_map>
#include <vector>

#include "model/AudioMetadata.h"

namespace quorvel {
class AppDelegate;
}

namespace quorvel::ui {

// The file table: one row per record of the controller's arranged list, one
// column per tag key or source key the user chose, plus the needs-saving and
// has-artwork indicators. Cells come from the controller (preview values
// included) and source keys go through the value formatters.
//
// The model shows a snapshot of the arranged list taken at refresh(), and
// caches every cell it has drawn: while a worker holds the records
// (saving, removing tags, a function run) it draws from that cache and
// never reads a record.
class FileTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // True for cells that show a preview value.
  static constexpr int PreviewRole = Qt::UserRole + 1;
  // The column's key, on the header.
  static constexpr int KeyRole = Qt::UserRole + 2;

  FileTableModel(AppDelegate& delegate, QObject* parent = nullptr);

  // The columns, in order: keys such as "TRACKTITLE" or "_FILENAME", and the
  // controller's needs-saving and has-artwork identifiers.
  const std::vector<std::string>& columns() const { return columns_; }
  void setColumns(std::vector<std::string> columns);
  static std::vector<std::string> defaultColumns();
  // Every key a column can show, tags first (by display name), then the
  // source keys.
  static std::vector<std::string> availableColumns();
  static QString columnTitle(const std::string& key);
  static bool isIndicatorColumn(const std::string& key);
  int columnOfKey(const std::string& key) const;

  // Takes the arranged list again. Rows that are the same records keep their
  // place (values are redrawn); a changed list resets the model.
  void refresh();
  // Redraws every cell (values changed, rows did not).
  void redrawValues();
  // The snapshot's records.
  const std::vector<AudioMetadataPtr>& records() const { return rows_; }
  AudioMetadataPtr recordAt(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  void sort(int column, Qt::SortOrder order) override;

 Q_SIGNALS:
  // A cell was edited; the window hands it to the controller once the
  // editor has closed.
  void cellEdited(int row, const QString& key, const QString& text);
  // The controller's sort order changed (rows are already rearranged).
  void sortChanged();

 private:
  struct Cell {
    QString text;
    QString editText;
    bool preview = false;
  };
  struct RowCache {
    AudioMetadataPtr record;  // keeps the key's address from being reused
    std::unordered_map<std::string, Cell> cells;
    int needsSaving = -1;  // -1 not known yet
    int hasArtwork = -1;
  };

  const Cell* cell(int row, const std::string& key) const;
  RowCache* rowCache(int row) const;
  bool recordsAreBusy() const;
  QString formatSource(const std::string& key, const Object& value) const;

  AppDelegate& delegate_;
  std::vector<std::string> columns_;
  std::vector<AudioMetadataPtr> rows_;
  mutable std::unordered_map<const AudioMetadata*, RowCache> cache_;
  QIcon needsSavingIcon_;
  QIcon hasArtworkIcon_;
};

}  // namespace quorvel::ui
