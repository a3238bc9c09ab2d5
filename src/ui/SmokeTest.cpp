#include "ui/SmokeTest.h"

#include <QApplication>
#include <QLineEdit>
#include <QMetaObject>
#include <QTableView>

#include <iostream>

#include "document/AppDelegate.h"
#include "document/ErrorLogWindowController.h"
#include "platform/UserDefaults.h"
#include "ui/EditorField.h"
#include "ui/FileTableModel.h"
#include "ui/HexView.h"
#include "ui/MainWindow.h"
#include "ui/QtConversions.h"

namespace quorvel::ui {

void SmokeTest::check(bool condition, const std::string& what) {
  std::cout << (condition ? "  ok    " : "  FAIL  ") << what << "\n";
  if (!condition) {
    failures_.push_back(what);
  }
}

void SmokeTest::settle() {
  for (int i = 0; i < 4; ++i) {
    QApplication::processEvents();
  }
  window_.refreshNow();
}

std::vector<std::string> SmokeTest::run() {
  AppDelegate& delegate = window_.delegate();
  FileTableModel& model = window_.tableModel();
  QTableView& table = window_.tableView();
  settle();

  const int rows = model.rowCount();
  check(rows > 0, "the table has rows (" + std::to_string(rows) + ")");
  if (rows == 0) {
    return failures_;
  }

  table.selectAll();
  settle();
  check(delegate.metadataArrayController().selectionCount() == static_cast<std::size_t>(rows),
        "selecting every row in the table selects every record");

  // The first row that is a real file, selected alone.
  table.selectRow(0);
  settle();
  const auto record = model.recordAt(0);
  check(delegate.metadataArrayController().selectionCount() == 1, "one row selected");

  // A table cell: edited through the model, handed to the controller.
  const int titleColumn = model.columnOfKey("TRACKTITLE");
  check(titleColumn >= 0, "the table shows the title column");
  if (titleColumn >= 0 && record) {
    const auto before = record->metadataObjectValueForKey("TRACKTITLE");
    model.setData(model.index(0, titleColumn), QStringLiteral("Smoke Title"), Qt::EditRole);
    settle();
    check(record->metadataObjectValueForKey("TRACKTITLE") == Object("Smoke Title"),
          "editing a title cell sets the record's title");
    check(model.data(model.index(0, titleColumn), Qt::DisplayRole).toString() ==
              QStringLiteral("Smoke Title"),
          "the cell shows the new title");
    check(record->metadataNeedsSaving(), "the edited record needs saving");
    delegate.undo();
    settle();
    check(record->metadataObjectValueForKey("TRACKTITLE") == before, "undo restores the title");
  }

  // An editor field: typing and leaving the field edits the selection.
  EditorField* album = nullptr;
  for (EditorField* field : window_.findChildren<EditorField*>()) {
    if (field->key() == "ALBUM") {
      album = field;
    }
  }
  check(album != nullptr, "the editor has an album field");
  if (album != nullptr && record) {
    const auto before = record->metadataObjectValueForKey("ALBUM");
    album->lineEdit()->setText(QStringLiteral("Smoke Album"));
    QMetaObject::invokeMethod(album->lineEdit(), "editingFinished");
    settle();
    check(record->metadataObjectValueForKey("ALBUM") == Object("Smoke Album"),
          "editing the album field sets the record's album");
    delegate.undo();
    settle();
    check(record->metadataObjectValueForKey("ALBUM") == before, "undo restores the album");
    check(album->lineEdit()->text() == displayText(before), "the field shows the album again");
  }

  // Search narrows the table; an empty search shows every row again.
  delegate.search("no record has this text 7f3a");
  window_.scheduleRefresh(MainWindow::RefreshTable);
  settle();
  check(model.rowCount() == 0, "a search without matches empties the table");
  delegate.search("");
  window_.scheduleRefresh(MainWindow::RefreshTable);
  settle();
  check(model.rowCount() == rows, "an empty search shows every row");

  // Sorting by a column keeps every row.
  const int nameColumn = model.columnOfKey("_FILENAME");
  if (nameColumn >= 0) {
    table.sortByColumn(nameColumn, Qt::DescendingOrder);
    settle();
    check(model.rowCount() == rows, "sorting by file name keeps every row");
  }

  // The hex view maps the selected file.
  if (record && record->sourceLocation()) {
    HexView hex;
    check(hex.openFile(toQString(*record->sourceLocation())) && hex.fileSize() > 0,
          "the hex view opens the selected file");
  }

  check(!record || !record->metadataNeedsSaving(), "nothing is left unsaved");

  // Closing asks the controller (nothing unsaved: quit at once) and keeps
  // the window's arrangement for the next start.
  UserDefaults::standard().removeObjectForKey("mainWindowGeometry");
  check(window_.close(), "the window closes when nothing is unsaved");
  check(UserDefaults::standard().dataForKey("mainWindowGeometry").has_value(),
        "closing remembers the window's geometry");
  check(UserDefaults::standard().objectForKey("fileTableColumns").has_value(),
        "the column layout is remembered");
  return failures_;
}

}  // namespace quorvel::ui
