#pragma once

#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QTabWidget;
class QTableView;

namespace quorvel {
class AppDelegate;
}

namespace quorvel::ui {

class AddTagDialog;
class AllTagsView;
class ArtworkPanel;
class ConvertArtworkDialog;
class EditorPanel;
class ErrorLogWindow;
class FileTableModel;
class PreferencesDialog;
class QtUIHost;
class TagMappingsWindow;

// The one main window: the file table, the editor panel with the all-tags
// view, the artwork viewer, the search field, menus, toolbar and status bar.
// It owns the application controller (AppDelegate) and the Qt UI host, shows
// what the controller holds and forwards every command and edit to it.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // What a refresh pass redraws.
  enum RefreshFlag { RefreshTable = 1, RefreshSelection = 2, RefreshEditor = 4 };

  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  AppDelegate& delegate() { return *delegate_; }
  QtUIHost& host() { return *host_; }
  FileTableModel& tableModel() { return *tableModel_; }
  QTableView& tableView() { return *table_; }

  // --- For the UI host ------------------------------------------------------------

  // Redraws at the next turn of the event loop; requests made meanwhile are
  // merged into one pass.
  void scheduleRefresh(int flags);
  // Runs a scheduled pass now.
  void refreshNow();
  // Commits whatever is being typed (table cell, field, lyrics, description).
  void endEditing();
  void setSearchPlaceholder(const QString& placeholder);
  void showErrorLog();
  void closeAuxiliaryWindows();
  // The answer to a quit that was put off: quit now, or stay.
  void applicationMayQuit(bool quit);
  // Enables the commands that may start now.
  void updateCommands();

  // --- Start-up -------------------------------------------------------------------

  // Adds files and folders as the platform's "open files" request does.
  void openPaths(const QStringList& paths);
  // Grabs the window (or one of its other windows) into a PNG file: "main",
  // "alltags", "preferences" or "preferences:PAGE", "mappings", "errorlog",
  // "hex", "convert", "addtag", "alert", "progress". Returns false when it
  // cannot be written.
  bool saveScreenshot(const QString& path, const QString& what);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // When a command may run.
  enum class Needs { Nothing, Idle, Selection, EditableSelection, Records };
  QAction* command(QMenu* menu, const QString& title, const QKeySequence& shortcut, Needs needs,
                   std::function<void()> run, const QString& iconName = {}, int standardIcon = -1);
  bool allowed(Needs needs) const;
  bool idle() const;

  void buildCentralArea();
  void buildMenusAndToolbar();
  void buildColumnMenu(QMenu* menu);
  void buildSearchMenu();
  void performRefresh();
  void syncSelectionFromController();
  void tableSelectionChanged();
  void updateStatus();
  void updateUndoTitles();
  // Hands a table or all-tags edit to the controller once the view's editor
  // has closed (or at once, from endEditing).
  void queueEdit(std::function<void()> edit);
  void flushEdits();

  void setColumns(std::vector<std::string> columns);
  void toggleColumn(const std::string& key);
  void restoreLayout();
  void saveLayout();
  void updateSearchColumns();

  void showAddTag(const QString& key);
  void chooseArtworkFile();
  void setArtworkFromFile(const QString& path);
  void convertArtwork();
  void openInDefaultApplication();
  void showHexView();
  void showPreferences();
  void showTagMappings();
  void showAbout();

  std::shared_ptr<QtUIHost> host_;
  std::unique_ptr<AppDelegate> delegate_;
  FileTableModel* tableModel_ = nullptr;
  QTableView* table_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QSplitter* sideSplitter_ = nullptr;
  QTabWidget* sideTabs_ = nullptr;
  EditorPanel* editor_ = nullptr;
  AllTagsView* allTags_ = nullptr;
  ArtworkPanel* artwork_ = nullptr;
  QLineEdit* search_ = nullptr;
  QMenu* searchMenu_ = nullptr;
  QLabel* status_ = nullptr;
  QAction* undo_ = nullptr;
  QAction* redo_ = nullptr;
  QMenu* columnsMenu_ = nullptr;

  QPointer<ErrorLogWindow> errorLog_;
  QPointer<PreferencesDialog> preferences_;
  QPointer<TagMappingsWindow> mappings_;
  QPointer<AddTagDialog> addTag_;
  QPointer<ConvertArtworkDialog> convert_;
  std::vector<QPointer<QWidget>> hexWindows_;

  std::vector<std::pair<QAction*, Needs>> commands_;
  std::vector<std::function<void()>> pendingEdits_;
  std::size_t unsavedCount_ = 0;
  int pendingRefresh_ = 0;
  bool refreshPosted_ = false;
  bool syncingSelection_ = false;
  bool quitApproved_ = false;
  bool layoutRestored_ = false;
  bool fitColumnsOnShow_ = false;
  std::uint64_t undoObserver_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quorvel::ui
