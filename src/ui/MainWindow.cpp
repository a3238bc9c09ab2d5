#include "ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

#include "document/AppDelegate.h"
#include "document/FileWalker.h"
#include "document/MetadataFunctionController.h"
#include "document/TQConvertArtworkWindowController.h"
#include "platform/UserDefaults.h"
#include "platform/ZRUndoManager.h"
#include "ui/AccessorySavePanel.h"
#include "ui/AddTagDialog.h"
#include "ui/AllTagsView.h"
#include "ui/AppIcon.h"
#include "ui/ArtworkPanel.h"
#include "ui/ConvertArtworkDialog.h"
#include "ui/EditorPanel.h"
#include "ui/ErrorLogWindow.h"
#include "ui/FileTableModel.h"
#include "ui/HexWindow.h"
#include "ui/PreferencesDialog.h"
#include "ui/PreviewItemDelegate.h"
#include "ui/ProgressSheet.h"
#include "ui/QtConversions.h"
#include "ui/QtUIHost.h"
#include "ui/TagMappingsWindow.h"
#include "ui/Theme.h"

namespace quorvel::ui {

namespace {

// Settings of the window itself.
constexpr const char* kColumnsKey = "fileTableColumns";
constexpr const char* kColumnWidthsKey = "fileTableColumnWidths";
constexpr const char* kSortKey = "fileTableSortKey";
constexpr const char* kSortAscendingKey = "fileTableSortAscending";
constexpr const char* kGeometryKey = "mainWindowGeometry";
constexpr const char* kStateKey = "mainWindowState";
constexpr const char* kSplitterKey = "mainWindowSplitter";
constexpr const char* kSideSplitterKey = "mainWindowSideSplitter";
constexpr const char* kSideTabKey = "mainWindowSideTab";

// Indicator columns are just wide enough for their icon.
constexpr int kIndicatorWidth = 26;

UserDefaults& settings() { return UserDefaults::standard(); }

QByteArray settingBytes(const char* key) {
  if (auto data = settings().dataForKey(key)) {
    return toQByteArray(*data);
  }
  return {};
}

void setSettingBytes(const QByteArray& bytes, const char* key) {
  settings().setObject(PlistValue(toData(bytes)), key);
}

// The search category that names one column alone: its place among every
// column a table can show, counted from 1 (999 is "every column").
int searchCategoryForKey(const std::string& key) {
  const auto all = FileTableModel::availableColumns();
  const auto it = std::find(all.begin(), all.end(), key);
  return it == all.end() ? 0 : static_cast<int>(it - all.begin()) + 1;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("Quorvel"));
  setWindowIcon(appIcon());
  setAcceptDrops(true);
  setObjectName(QStringLiteral("MainWindow"));

  host_ = std::make_shared<QtUIHost>(*this);
  UIHost::install(host_);
  delegate_ = std::make_unique<AppDelegate>(host_);
  host_->setCancelHandler([this] { delegate_->progressPanelCancelButtonPressed(); });

  buildCentralArea();
  buildMenusAndToolbar();
  restoreLayout();

  // The undo manager tells of changes on whichever thread made them; the
  // titles are read on the main thread.
  std::weak_ptr<bool> alive = alive_;
  undoObserver_ = delegate_->undoManager()->addObserver([this, alive](const std::string&, bool) {
    QMetaObject::invokeMethod(
        qApp,
        [this, alive] {
          if (alive.lock()) {
            updateUndoTitles();
          }
        },
        Qt::QueuedConnection);
  });

  scheduleRefresh(RefreshTable | RefreshSelection | RefreshEditor);
}

MainWindow::~MainWindow() {
  alive_.reset();
  // From here on the controller, finishing its work, talks to no window.
  host_->detachWindow();
  if (delegate_) {
    delegate_->undoManager()->removeObserver(undoObserver_);
  }
  // The views refer to the controller; let them go first.
  std::unique_ptr<QWidget> central(takeCentralWidget());
  central.reset();
  delegate_.reset();
  UIHost::install(nullptr);
}

// --- Building -------------------------------------------------------------------------

void MainWindow::buildCentralArea() {
  tableModel_ = new FileTableModel(*delegate_, this);
  table_ = new QTableView;
  table_->setModel(tableModel_);
  table_->setItemDelegate(new PreviewItemDelegate(FileTableModel::PreviewRole, -1, table_));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked |
                          QAbstractItemView::DoubleClicked);
  table_->setAlternatingRowColors(true);
  table_->setShowGrid(false);
  table_->setWordWrap(false);
  table_->setSortingEnabled(true);
  table_->setCornerButtonEnabled(false);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 8);
  table_->horizontalHeader()->setSectionsMovable(true);
  table_->horizontalHeader()->setHighlightSections(false);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
  table_->horizontalHeader()->setSortIndicatorShown(true);
  table_->setContextMenuPolicy(Qt::ActionsContextMenu);

  connect(table_->horizontalHeader(), &QHeaderView::customContextMenuRequested, this,
          [this](const QPoint& point) {
            QMenu menu(this);
            buildColumnMenu(&menu);
            menu.exec(table_->horizontalHeader()->mapToGlobal(point));
          });
  connect(table_->horizontalHeader(), &QHeaderView::sectionMoved, this, [this] { saveLayout(); });
  connect(table_->horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
    if (layoutRestored_) saveLayout();
  });
  connect(tableModel_, &FileTableModel::cellEdited, this,
          [this](int row, const QString& key, const QString& text) {
            const auto record = tableModel_->recordAt(row);
            queueEdit([this, record, key, text] {
              // The row may have moved since the edit began: find the record.
              const auto index =
                  delegate_->metadataArrayController().indexOfArrangedObject(record.get());
              if (index != ArrayController::NotFound) {
                delegate_->tableViewSetObjectValue(Object(toStdString(text)), toStdString(key),
                                                   index);
              }
            });
          });
  connect(tableModel_, &FileTableModel::sortChanged, this, [this] {
    saveLayout();
    delegate_->updatePreview();
    scheduleRefresh(RefreshSelection | RefreshEditor);
  });
  connect(tableModel_, &QAbstractItemModel::modelReset, this, [this] {
    // A reset loses the view's selection; show the controller's again.
    syncSelectionFromController();
  });
  connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &MainWindow::tableSelectionChanged);

  editor_ = new EditorPanel(*delegate_);
  auto* editorScroll = new QScrollArea;
  editorScroll->setWidget(editor_);
  editorScroll->setWidgetResizable(true);
  editorScroll->setFrameShape(QFrame::NoFrame);
  editorScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  allTags_ = new AllTagsView(*delegate_);
  sideTabs_ = new QTabWidget;
  sideTabs_->setDocumentMode(true);
  sideTabs_->addTab(editorScroll, tr("Tags"));
  sideTabs_->addTab(allTags_, tr("All Tags"));
  artwork_ = new ArtworkPanel(*delegate_);

  sideSplitter_ = new QSplitter(Qt::Vertical);
  sideSplitter_->addWidget(sideTabs_);
  sideSplitter_->addWidget(artwork_);
  sideSplitter_->setStretchFactor(0, 3);
  sideSplitter_->setStretchFactor(1, 2);
  sideSplitter_->setChildrenCollapsible(false);

  splitter_ = new QSplitter(Qt::Horizontal);
  splitter_->addWidget(sideSplitter_);
  splitter_->addWidget(table_);
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({380, 1000});
  splitter_->setChildrenCollapsible(false);
  setCentralWidget(splitter_);

  connect(editor_, &EditorPanel::addTagRequested, this, &MainWindow::showAddTag);
  connect(allTags_, &AllTagsView::addTagRequested, this, &MainWindow::showAddTag);
  connect(allTags_, &AllTagsView::rowEdited, this,
          [this](const AppDelegate::AllTagsRow& row, const QString& text) {
            queueEdit([this, row, text] {
              delegate_->outlineViewSetObjectValue(Object(toStdString(text)), row);
            });
          });
  connect(allTags_, &AllTagsView::deleteRequested, this, [this] {
    if (allowed(Needs::EditableSelection)) {
      delegate_->allTagsDeleteTagButtonPressed(allTags_->selectedRows());
    }
  });
  connect(allTags_, &AllTagsView::copySelectedRequested, this, [this] {
    if (allowed(Needs::Selection)) {
      delegate_->copySelectedMetadata(allTags_->selectedKeys());
    }
  });
  connect(artwork_, &ArtworkPanel::chooseRequested, this, &MainWindow::chooseArtworkFile);
  connect(artwork_, &ArtworkPanel::pasteRequested, this, [this] {
    if (allowed(Needs::EditableSelection)) {
      delegate_->pasteArtwork();
    }
  });
  connect(artwork_, &ArtworkPanel::removeRequested, this, [this] {
    if (allowed(Needs::EditableSelection)) {
      delegate_->removeArtwork(artwork_->shownIndex());
    }
  });
  connect(artwork_, &ArtworkPanel::convertRequested, this, &MainWindow::convertArtwork);
  connect(artwork_, &ArtworkPanel::imageFileDropped, this, &MainWindow::setArtworkFromFile);
  connect(artwork_, &ArtworkPanel::imageDataDropped, this, [this](const QByteArray& bytes) {
    if (allowed(Needs::EditableSelection)) {
      endEditing();
      delegate_->albumArtworkDropViewReceivedImageData(toData(bytes));
    }
  });

  status_ = new QLabel;
  statusBar()->addWidget(status_, 1);
}

QAction* MainWindow::command(QMenu* menu, const QString& title, const QKeySequence& shortcut,
                             Needs needs, std::function<void()> run, const QString& iconName,
                             int standardIcon) {
  auto* action = new QAction(title, this);
  if (!shortcut.isEmpty()) {
    action->setShortcut(shortcut);
  }
  if (!iconName.isEmpty() || standardIcon >= 0) {
    const QIcon fallback =
        standardIcon >= 0 ? style()->standardIcon(static_cast<QStyle::StandardPixmap>(standardIcon))
                          : QIcon();
    action->setIcon(QIcon::fromTheme(iconName, fallback));
  }
  connect(action, &QAction::triggered, this, [this, needs, run = std::move(run)] {
    // A stale enabled state must not start a second operation.
    if (allowed(needs)) {
      run();
    }
  });
  if (menu != nullptr) {
    menu->addAction(action);
  }
  commands_.emplace_back(action, needs);
  return action;
}

void MainWindow::buildMenusAndToolbar() {
  auto* file = menuBar()->addMenu(tr("&File"));
  auto* addFiles = command(
      file, tr("Add Files…"), QKeySequence::Open, Needs::Idle, [this] { delegate_->addFiles(); },
      QStringLiteral("list-add"), QStyle::SP_FileIcon);
  auto* addFolder = command(
      file, tr("Add Folder…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), Needs::Idle,
      [this] {
        host_->setNextOpenPanelChoosesFolder(true);
        delegate_->addFiles();
      },
      QStringLiteral("folder-open"), QStyle::SP_DirOpenIcon);
  file->addSeparator();
  auto* save = command(
      file, tr("Save"), QKeySequence::Save, Needs::Records,
      [this] {
        endEditing();
        delegate_->save();
      },
      QStringLiteral("document-save"), QStyle::SP_DialogSaveButton);
  auto* revert = command(
      file, tr("Revert…"), QKeySequence(), Needs::Selection,
      [this] { delegate_->revertMetadata(); }, QStringLiteral("document-revert"),
      QStyle::SP_BrowserReload);
  file->addSeparator();
  auto* remove = command(
      file, tr("Remove Files"), QKeySequence(Qt::CTRL | Qt::Key_Delete), Needs::Selection,
      [this] { delegate_->removeFiles(); }, QStringLiteral("list-remove"),
      QStyle::SP_DialogDiscardButton);
  auto* clear = command(
      file, tr("Clear Files"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete), Needs::Records,
      [this] { delegate_->clearFiles(); }, QStringLiteral("edit-clear-all"),
      QStyle::SP_DialogResetButton);
  file->addSeparator();
  command(file, tr("Open in Default Application"), QKeySequence(Qt::CTRL | Qt::Key_Return),
          Needs::Selection, [this] { openInDefaultApplication(); });
  command(file, tr("Show Hex View"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H),
          Needs::Selection, [this] { showHexView(); });
  file->addSeparator();
  // Import needs no selection: with none selected it says so itself.
  command(file, tr("Import Metadata…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I), Needs::Idle,
          [this] { delegate_->importMetadata(); });
  command(file, tr("Export Metadata…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
          Needs::Records, [this] { delegate_->exportMetadata(); });
  file->addSeparator();
  command(
      file, tr("Quit"), QKeySequence::Quit, Needs::Nothing, [this] { close(); },
      QStringLiteral("application-exit"));

  auto* edit = menuBar()->addMenu(tr("&Edit"));
  undo_ = command(
      edit, tr("Undo"), QKeySequence::Undo, Needs::Idle,
      [this] {
        endEditing();
        delegate_->undo();
      },
      QStringLiteral("edit-undo"), QStyle::SP_ArrowBack);
  redo_ = command(
      edit, tr("Redo"), QKeySequence::Redo, Needs::Idle,
      [this] {
        endEditing();
        delegate_->redo();
      },
      QStringLiteral("edit-redo"), QStyle::SP_ArrowForward);
  connect(edit, &QMenu::aboutToShow, this, &MainWindow::updateUndoTitles);
  edit->addSeparator();
  auto* copyAll = command(
      edit, tr("Copy All Metadata"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
      Needs::Selection, [this] { delegate_->copyAllMetadata(); }, QStringLiteral("edit-copy"));
  command(edit, tr("Copy Selected Metadata"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C),
          Needs::Selection, [this] { delegate_->copySelectedMetadata(allTags_->selectedKeys()); });
  auto* pasteReplacing = command(
      edit, tr("Paste Metadata (Replacing Existing)"),
      QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V), Needs::EditableSelection,
      [this] { delegate_->pasteMetadataReplacingExisting(); }, QStringLiteral("edit-paste"));
  command(edit, tr("Paste Metadata (Adding to Existing)"),
          QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_V), Needs::EditableSelection,
          [this] { delegate_->pasteMetadataAddingToExisting(); });
  command(edit, tr("Paste Metadata (Replacing All)"), QKeySequence(), Needs::EditableSelection,
          [this] { delegate_->pasteMetadataReplacingAll(); });
  edit->addSeparator();
  command(edit, tr("Add Tag…"), QKeySequence(Qt::CTRL | Qt::Key_T), Needs::EditableSelection,
          [this] { showAddTag(QString()); });
  command(edit, tr("Remove All Tags…"), QKeySequence(), Needs::Idle,
          [this] { delegate_->clearAllMetadata(); });
  command(edit, tr("Remove Empty Tags"), QKeySequence(), Needs::EditableSelection,
          [this] { delegate_->removeEmptyTags(); });
  edit->addSeparator();
  command(edit, tr("Select All Files"), QKeySequence::SelectAll, Needs::Idle,
          [this] { table_->selectAll(); });
  command(edit, tr("Find"), QKeySequence::Find, Needs::Nothing, [this] {
    search_->setFocus();
    search_->selectAll();
  });

  auto* artwork = menuBar()->addMenu(tr("&Artwork"));
  command(artwork, tr("Choose Artwork File…"), QKeySequence(), Needs::EditableSelection,
          [this] { chooseArtworkFile(); });
  auto* pasteArtwork = command(artwork, tr("Paste Artwork"),
                               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::ALT | Qt::Key_V),
                               Needs::EditableSelection, [this] { delegate_->pasteArtwork(); });
  command(artwork, tr("Remove Artwork"), QKeySequence(), Needs::EditableSelection,
          [this] { delegate_->removeArtwork(artwork_->shownIndex()); });
  command(artwork, tr("Convert Artwork…"), QKeySequence(), Needs::EditableSelection,
          [this] { convertArtwork(); });
  artwork->addSeparator();
  command(artwork, tr("Previous Artwork"), QKeySequence(Qt::CTRL | Qt::Key_BracketLeft),
          Needs::Nothing, [this] { artwork_->showPrevious(); });
  command(artwork, tr("Next Artwork"), QKeySequence(Qt::CTRL | Qt::Key_BracketRight),
          Needs::Nothing, [this] { artwork_->showNext(); });

  auto* view = menuBar()->addMenu(tr("&View"));
  columnsMenu_ = view->addMenu(tr("Columns"));
  connect(columnsMenu_, &QMenu::aboutToShow, this, [this] {
    columnsMenu_->clear();
    buildColumnMenu(columnsMenu_);
  });
  view->addSeparator();
  command(view, tr("Tags"), QKeySequence(Qt::CTRL | Qt::Key_1), Needs::Nothing,
          [this] { sideTabs_->setCurrentIndex(0); });
  command(view, tr("All Tags"), QKeySequence(Qt::CTRL | Qt::Key_2), Needs::Nothing,
          [this] { sideTabs_->setCurrentIndex(1); });
  view->addSeparator();
  auto* errorLog = command(
      view, tr("Error Log"), QKeySequence(Qt::CTRL | Qt::Key_L), Needs::Nothing,
      [this] { showErrorLog(); }, QStringLiteral("dialog-warning"), QStyle::SP_MessageBoxWarning);

  auto* settingsMenu = menuBar()->addMenu(tr("&Settings"));
  command(
      settingsMenu, tr("Preferences…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), Needs::Nothing,
      [this] { showPreferences(); }, QStringLiteral("preferences-system"));
  command(settingsMenu, tr("Tag Mappings…"), QKeySequence(), Needs::Nothing,
          [this] { showTagMappings(); });

  auto* help = menuBar()->addMenu(tr("&Help"));
  command(help, tr("About Quorvel"), QKeySequence(), Needs::Nothing, [this] { showAbout(); });

  // Commands of the table when it has the focus: the usual keys act on files.
  auto* tableCopy = command(nullptr, tr("Copy All Metadata"), QKeySequence::Copy, Needs::Selection,
                            [this] { delegate_->copyAllMetadata(); });
  auto* tablePaste =
      command(nullptr, tr("Paste Metadata"), QKeySequence::Paste, Needs::EditableSelection,
              [this] { delegate_->pasteMetadataReplacingExisting(); });
  auto* tableRemove = command(nullptr, tr("Remove Files"), QKeySequence::Delete, Needs::Selection,
                              [this] { delegate_->removeFiles(); });
  auto* tableOpen = command(nullptr, tr("Open in Default Application"), QKeySequence(Qt::Key_Space),
                            Needs::Selection, [this] { openInDefaultApplication(); });
  for (QAction* action : {tableCopy, tablePaste, tableRemove, tableOpen}) {
    action->setShortcutContext(Qt::WidgetShortcut);
    table_->addAction(action);
  }
  auto* separator = new QAction(this);
  separator->setSeparator(true);
  table_->addAction(separator);
  table_->addAction(copyAll);
  table_->addAction(pasteReplacing);
  table_->addAction(pasteArtwork);

  auto* toolbar = addToolBar(tr("Toolbar"));
  toolbar->setObjectName(QStringLiteral("MainToolbar"));
  toolbar->setMovable(false);
  toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  toolbar->setIconSize(QSize(22, 22));
  toolbar->addAction(addFiles);
  toolbar->addAction(addFolder);
  toolbar->addAction(save);
  toolbar->addAction(revert);
  toolbar->addSeparator();
  toolbar->addAction(undo_);
  toolbar->addAction(redo_);
  toolbar->addSeparator();
  toolbar->addAction(remove);
  toolbar->addAction(clear);
  toolbar->addSeparator();
  toolbar->addAction(errorLog);
  auto* spacer = new QWidget;
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  toolbar->addWidget(spacer);

  search_ = new QLineEdit;
  search_->setClearButtonEnabled(true);
  search_->setPlaceholderText(tr("Search"));
  search_->setMinimumWidth(240);
  search_->setMaximumWidth(320);
  searchMenu_ = new QMenu(this);
  auto* categories = search_->addAction(Theme::searchIcon(palette()), QLineEdit::LeadingPosition);
  categories->setToolTip(tr("Search in"));
  connect(categories, &QAction::triggered, this, [this] {
    buildSearchMenu();
    searchMenu_->exec(search_->mapToGlobal(QPoint(0, search_->height())));
  });
  connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (!idle()) {
      return;
    }
    delegate_->search(toStdString(text));
    scheduleRefresh(RefreshTable | RefreshSelection | RefreshEditor);
  });
  toolbar->addWidget(search_);
}

void MainWindow::buildColumnMenu(QMenu* menu) {
  const auto& shown = tableModel_->columns();
  auto isShown = [&shown](const std::string& key) {
    return std::find(shown.begin(), shown.end(), key) != shown.end();
  };
  auto addToggle = [this, &isShown](QMenu* target, const std::string& key) {
    QAction* action = target->addAction(FileTableModel::columnTitle(key));
    action->setCheckable(true);
    action->setChecked(isShown(key));
    connect(action, &QAction::triggered, this, [this, key] { toggleColumn(key); });
  };
  // The editor's fields first: the columns most people want.
  std::set<std::string> common;
  for (int tag : {11, 12, 1, 2, 13, 14, 6, 7, 15, 8, 5, 9, 3, 4, 42}) {
    if (auto key = AppDelegate::keyForEditorFieldTag(tag)) {
      addToggle(menu, *key);
      common.insert(*key);
    }
  }
  QMenu* more = menu->addMenu(tr("More Tags"));
  QMenu* properties = menu->addMenu(tr("File Properties"));
  for (const auto& key : FileTableModel::availableColumns()) {
    if (common.count(key) != 0) {
      continue;
    }
    addToggle(key.starts_with("_") ? properties : more, key);
  }
  menu->addSeparator();
  addToggle(menu, AppDelegate::kNeedsSavingColumnIdentifier);
  addToggle(menu, AppDelegate::kHasArtworkColumnIdentifier);
  menu->addSeparator();
  menu->addAction(tr("Restore Default Columns"), this,
                  [this] { setColumns(FileTableModel::defaultColumns()); });
}

void MainWindow::buildSearchMenu() {
  searchMenu_->clear();
  auto add = [this](int category, const QString& title) {
    QAction* action = searchMenu_->addAction(title);
    action->setCheckable(true);
    action->setChecked(delegate_->searchCategory() == category);
    connect(action, &QAction::triggered, this, [this, category, title] {
      delegate_->setSearchCategoryFrom(category, toStdString(title));
      scheduleRefresh(RefreshTable | RefreshSelection | RefreshEditor);
    });
  };
  add(AppDelegate::kSearchAllColumns, tr("All"));
  searchMenu_->addSeparator();
  for (const auto& key : tableModel_->columns()) {
    if (!FileTableModel::isIndicatorColumn(key)) {
      add(searchCategoryForKey(key), FileTableModel::columnTitle(key));
    }
  }
}

// --- Refreshing ----------------------------------------------------------------------

void MainWindow::scheduleRefresh(int flags) {
  pendingRefresh_ |= flags;
  if (refreshPosted_) {
    return;
  }
  refreshPosted_ = true;
  QTimer::singleShot(0, this, [this] {
    refreshPosted_ = false;
    performRefresh();
  });
}

void MainWindow::refreshNow() {
  if (pendingRefresh_ != 0) {
    performRefresh();
  }
}

void MainWindow::performRefresh() {
  const int flags = pendingRefresh_;
  pendingRefresh_ = 0;
  if (flags & RefreshTable) {
    tableModel_->refresh();
  } else if (flags & RefreshEditor) {
    tableModel_->redrawValues();  // previews and edited values
  }
  if (flags & (RefreshTable | RefreshSelection)) {
    syncSelectionFromController();
  }
  if (flags != 0) {
    editor_->refresh();
    allTags_->refresh();
    artwork_->refresh();
  }
  updateStatus();
  updateCommands();
  updateUndoTitles();
}

void MainWindow::syncSelectionFromController() {
  const auto wanted = delegate_->metadataArrayController().selectionIndexes();
  std::vector<std::size_t> current;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
    current.push_back(static_cast<std::size_t>(index.row()));
  }
  std::sort(current.begin(), current.end());
  if (current == wanted) {
    return;
  }
  // Contiguous runs become one range each, so selecting thousands of rows is quick.
  QItemSelection selection;
  const int lastColumn = std::max(0, tableModel_->columnCount() - 1);
  for (std::size_t i = 0; i < wanted.size();) {
    std::size_t j = i;
    while (j + 1 < wanted.size() && wanted[j + 1] == wanted[j] + 1) {
      ++j;
    }
    if (wanted[j] < static_cast<std::size_t>(tableModel_->rowCount())) {
      selection.select(tableModel_->index(static_cast<int>(wanted[i]), 0),
                       tableModel_->index(static_cast<int>(wanted[j]), lastColumn));
    }
    i = j + 1;
  }
  syncingSelection_ = true;
  table_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  if (!wanted.empty() && wanted.front() < static_cast<std::size_t>(tableModel_->rowCount())) {
    table_->selectionModel()->setCurrentIndex(
        tableModel_->index(static_cast<int>(wanted.front()), table_->currentIndex().column() < 0
                                                                 ? 0
                                                                 : table_->currentIndex().column()),
        QItemSelectionModel::NoUpdate);
  }
  syncingSelection_ = false;
}

void MainWindow::tableSelectionChanged() {
  if (syncingSelection_) {
    return;
  }
  std::vector<std::size_t> rows;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
    rows.push_back(static_cast<std::size_t>(index.row()));
  }
  std::sort(rows.begin(), rows.end());
  // Typing in a field belongs to the files it was begun for.
  endEditing();
  delegate_->setSelectionIndexes(rows);
  scheduleRefresh(RefreshEditor);
}

void MainWindow::updateStatus() {
  const auto& controller = delegate_->metadataArrayController();
  const std::size_t total = controller.content().size();
  const std::size_t shown = controller.arrangedObjects().size();
  const std::size_t selected = controller.selectionCount();
  // While a worker holds the records, the last count stands.
  if (!delegate_->recordsAreBusy()) {
    unsavedCount_ = static_cast<std::size_t>(std::count_if(
        controller.content().begin(), controller.content().end(),
        [](const AudioMetadataPtr& record) { return record->metadataNeedsSaving(); }));
  }
  QString text = shown == total
                     ? tr("%n file(s)", nullptr, static_cast<int>(total))
                     : tr("%1 of %n file(s) shown", nullptr, static_cast<int>(total)).arg(shown);
  text += QStringLiteral("  ·  ") + tr("%n selected", nullptr, static_cast<int>(selected));
  text += QStringLiteral("  ·  ") + tr("%n unsaved", nullptr, static_cast<int>(unsavedCount_));
  if (delegate_->previewMode()) {
    text += QStringLiteral("  ·  ") + tr("Preview");
  }
  status_->setText(text);
}

bool MainWindow::idle() const {
  return delegate_ && delegate_->validateMenuItem() && host_->modalDepth() == 0 &&
         !delegate_->recordsAreBusy() &&
         !(host_->progressSheet() != nullptr && host_->progressSheet()->isVisible());
}

bool MainWindow::allowed(Needs needs) const {
  switch (needs) {
    case Needs::Nothing:
      return true;
    case Needs::Idle:
      return idle();
    case Needs::Records:
      return idle() && !delegate_->metadataArrayController().content().empty();
    case Needs::Selection:
      return idle() && delegate_->metadataArrayController().selectionCount() > 0;
    case Needs::EditableSelection:
      return idle() && delegate_->metadataArrayController().selectionCount() > 0 &&
             !delegate_->previewMode();
  }
  return false;
}

void MainWindow::updateCommands() {
  for (const auto& [action, needs] : commands_) {
    action->setEnabled(allowed(needs));
  }
  updateUndoTitles();
}

void MainWindow::updateUndoTitles() {
  if (!delegate_ || undo_ == nullptr) {
    return;
  }
  const auto& manager = *delegate_->undoManager();
  // The menu shows the full title ("Undo Set Album"); the toolbar a short one.
  undo_->setText(toQString(manager.undoMenuItemTitle()));
  redo_->setText(toQString(manager.redoMenuItemTitle()));
  undo_->setIconText(tr("Undo"));
  redo_->setIconText(tr("Redo"));
  undo_->setToolTip(undo_->text());
  redo_->setToolTip(redo_->text());
  undo_->setEnabled(idle() && manager.canUndo());
  redo_->setEnabled(idle() && manager.canRedo());
}

// --- Edits --------------------------------------------------------------------------

void MainWindow::queueEdit(std::function<void()> edit) {
  pendingEdits_.push_back(std::move(edit));
  QTimer::singleShot(0, this, &MainWindow::flushEdits);
}

void MainWindow::flushEdits() {
  auto edits = std::move(pendingEdits_);
  pendingEdits_.clear();
  for (auto& edit : edits) {
    edit();
  }
}

void MainWindow::endEditing() {
  // Moving the focus closes cell editors (committing them) and ends the
  // fields' editing; the edits they queue are handed on now.
  QWidget* focus = QApplication::focusWidget();
  if (focus != nullptr && focus != table_ && isAncestorOf(focus) && focus != search_) {
    table_->setFocus(Qt::OtherFocusReason);
  }
  editor_->commitLyrics();
  artwork_->commitDescription();
  flushEdits();
}

void MainWindow::setSearchPlaceholder(const QString& placeholder) {
  search_->setPlaceholderText(placeholder);
}

// --- Columns and layout ------------------------------------------------------------------

void MainWindow::setColumns(std::vector<std::string> columns) {
  tableModel_->setColumns(std::move(columns));
  auto* header = table_->horizontalHeader();
  for (int i = 0; i < tableModel_->columnCount(); ++i) {
    const auto& key = tableModel_->columns()[static_cast<std::size_t>(i)];
    if (FileTableModel::isIndicatorColumn(key)) {
      header->setSectionResizeMode(i, QHeaderView::Fixed);
      header->resizeSection(i, kIndicatorWidth);
    } else {
      header->setSectionResizeMode(i, QHeaderView::Interactive);
    }
  }
  updateSearchColumns();
  saveLayout();
  scheduleRefresh(RefreshSelection);
}

void MainWindow::toggleColumn(const std::string& key) {
  auto columns = tableModel_->columns();
  auto it = std::find(columns.begin(), columns.end(), key);
  if (it != columns.end()) {
    columns.erase(it);
  } else {
    columns.push_back(key);
  }
  // Keep the columns in the order the user arranged them.
  std::vector<std::string> ordered;
  auto* header = table_->horizontalHeader();
  for (int visual = 0; visual < header->count(); ++visual) {
    const auto& existing =
        tableModel_->columns()[static_cast<std::size_t>(header->logicalIndex(visual))];
    if (std::find(columns.begin(), columns.end(), existing) != columns.end()) {
      ordered.push_back(existing);
    }
  }
  for (const auto& column : columns) {
    if (std::find(ordered.begin(), ordered.end(), column) == ordered.end()) {
      ordered.push_back(column);
    }
  }
  // Widths follow their keys through the reset.
  std::map<std::string, int> widths;
  for (int i = 0; i < header->count(); ++i) {
    widths[tableModel_->columns()[static_cast<std::size_t>(i)]] = header->sectionSize(i);
  }
  layoutRestored_ = false;
  setColumns(ordered);
  for (int i = 0; i < header->count(); ++i) {
    const auto& column = tableModel_->columns()[static_cast<std::size_t>(i)];
    if (auto w = widths.find(column);
        w != widths.end() && !FileTableModel::isIndicatorColumn(column)) {
      header->resizeSection(i, w->second);
    }
  }
  layoutRestored_ = true;
  saveLayout();
}

void MainWindow::updateSearchColumns() {
  std::vector<AppDelegate::SearchColumn> columns;
  for (const auto& key : tableModel_->columns()) {
    columns.push_back({key, searchCategoryForKey(key)});
  }
  delegate_->setSearchColumns(std::move(columns));
}

void MainWindow::restoreLayout() {
  std::vector<std::string> columns;
  if (auto stored = settings().objectForKey(kColumnsKey)) {
    if (const auto* array = stored->get<PlistArray>()) {
      const auto available = FileTableModel::availableColumns();
      for (const auto& item : *array) {
        if (const auto* key = item.get<std::string>()) {
          const bool known = FileTableModel::isIndicatorColumn(*key) ||
                             std::find(available.begin(), available.end(), *key) != available.end();
          if (known && std::find(columns.begin(), columns.end(), *key) == columns.end()) {
            columns.push_back(*key);
          }
        }
      }
    }
  }
  if (columns.empty()) {
    columns = FileTableModel::defaultColumns();
  }
  setColumns(columns);

  auto* header = table_->horizontalHeader();
  std::map<std::string, int> defaultWidths = {
      {"_FILENAME", 220},   {"TRACKNUMBER", 60}, {"TRACKTITLE", 220},
      {"TRACKARTIST", 160}, {"ALBUM", 180},      {"YEAR", 60},
      {"GENRE", 110},       {"_FILELENGTH", 80}, {"_BITRATE", 100}};
  PlistDict widths;
  if (auto stored = settings().objectForKey(kColumnWidthsKey)) {
    if (const auto* dict = stored->get<PlistDict>()) {
      widths = *dict;
    }
  }
  fitColumnsOnShow_ = widths.empty();
  for (int i = 0; i < header->count(); ++i) {
    const auto& key = tableModel_->columns()[static_cast<std::size_t>(i)];
    if (FileTableModel::isIndicatorColumn(key)) {
      continue;
    }
    // At least as wide as the title, so no column starts out cut off.
    int width = std::max(120, header->sectionSizeHint(i));
    if (auto d = defaultWidths.find(key); d != defaultWidths.end()) {
      width = std::max(d->second, header->sectionSizeHint(i));
    }
    if (auto w = widths.find(key); w != widths.end()) {
      if (const auto* value = w->second.get<std::int64_t>()) {
        width = static_cast<int>(std::clamp<std::int64_t>(*value, 30, 2000));
      }
    }
    header->resizeSection(i, width);
  }

  if (auto key = settings().stringForKey(kSortKey); key && !key->empty()) {
    const int column = tableModel_->columnOfKey(*key);
    if (column >= 0) {
      const bool ascending = settings().objectForKey(kSortAscendingKey)
                                 ? settings().boolForKey(kSortAscendingKey)
                                 : true;
      table_->sortByColumn(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    }
  } else {
    header->setSortIndicator(-1, Qt::AscendingOrder);
  }

  const QByteArray geometry = settingBytes(kGeometryKey);
  if (geometry.isEmpty() || !restoreGeometry(geometry)) {
    resize(1320, 820);
  }
  restoreState(settingBytes(kStateKey));
  splitter_->restoreState(settingBytes(kSplitterKey));
  sideSplitter_->restoreState(settingBytes(kSideSplitterKey));
  sideTabs_->setCurrentIndex(
      static_cast<int>(std::clamp<std::int64_t>(settings().integerForKey(kSideTabKey), 0, 1)));
  layoutRestored_ = true;
}

void MainWindow::saveLayout() {
  if (!layoutRestored_) {
    return;
  }
  auto* header = table_->horizontalHeader();
  PlistArray columns;
  PlistDict widths;
  for (int visual = 0; visual < header->count(); ++visual) {
    const int logical = header->logicalIndex(visual);
    const auto& key = tableModel_->columns()[static_cast<std::size_t>(logical)];
    columns.emplace_back(key);
    if (!FileTableModel::isIndicatorColumn(key)) {
      widths[key] = PlistValue(static_cast<std::int64_t>(header->sectionSize(logical)));
    }
  }
  // Written only when something changed: each write saves the settings file.
  if (settings().objectForKey(kColumnsKey) != std::optional<PlistValue>(PlistValue(columns))) {
    settings().setObject(PlistValue(columns), kColumnsKey);
  }
  if (settings().objectForKey(kColumnWidthsKey) != std::optional<PlistValue>(PlistValue(widths))) {
    settings().setObject(PlistValue(widths), kColumnWidthsKey);
  }
  const auto& sort = delegate_->metadataArrayController().sortDescriptors();
  const std::string sortKey = sort.empty() ? std::string() : sort.front().key;
  if (settings().stringForKey(kSortKey).value_or(std::string()) != sortKey) {
    settings().setObject(PlistValue(sortKey), kSortKey);
  }
  if (!sort.empty() && settings().boolForKey(kSortAscendingKey) != sort.front().ascending) {
    settings().setBool(sort.front().ascending, kSortAscendingKey);
  }
}

// --- Windows and dialogs --------------------------------------------------------------

void MainWindow::showErrorLog() {
  if (errorLog_.isNull()) {
    errorLog_ = new ErrorLogWindow(this);
  }
  errorLog_->showAndRaise();
}

void MainWindow::closeAuxiliaryWindows() {
  for (QWidget* window :
       {static_cast<QWidget*>(addTag_.data()), static_cast<QWidget*>(mappings_.data())}) {
    if (window != nullptr) {
      window->close();
    }
  }
}

void MainWindow::showPreferences() {
  if (preferences_.isNull()) {
    preferences_ = new PreferencesDialog(this);
    connect(preferences_.data(), &PreferencesDialog::tagMappingsRequested, this,
            &MainWindow::showTagMappings);
  }
  preferences_->show();
  preferences_->raise();
  preferences_->activateWindow();
}

void MainWindow::showTagMappings() {
  if (mappings_.isNull()) {
    mappings_ = new TagMappingsWindow(this);
  }
  mappings_->showAndRaise();
}

void MainWindow::showAddTag(const QString& key) {
  if (!allowed(Needs::EditableSelection)) {
    return;
  }
  if (addTag_.isNull()) {
    addTag_ = new AddTagDialog(this);
    connect(addTag_.data(), &QDialog::accepted, this, [this] {
      const QString tagKey = addTag_->key();
      if (tagKey.isEmpty() || !allowed(Needs::EditableSelection)) {
        return;
      }
      delegate_->setMetadataObjectValue(Object(toStdString(addTag_->value())), toStdString(tagKey));
    });
  }
  addTag_->prepare(key);
  addTag_->open();
}

void MainWindow::chooseArtworkFile() {
  if (!allowed(Needs::EditableSelection)) {
    return;
  }
  const QString path = QFileDialog::getOpenFileName(
      this, tr("Choose Artwork"), QString(),
      tr("Images (*.jpg *.jpeg *.png *.gif *.bmp *.tif *.tiff *.JPG *.JPEG *.PNG);;All files (*)"));
  if (!path.isEmpty()) {
    setArtworkFromFile(path);
  }
}

void MainWindow::setArtworkFromFile(const QString& path) {
  if (!allowed(Needs::EditableSelection)) {
    return;
  }
  endEditing();
  const auto artwork = AlbumArtwork::albumArtworkFromFile(toStdString(path));
  if (!artwork) {
    host_->runAlert(
        toStdString(tr("Not an Image")),
        toStdString(tr("%1 is not an image file Quorvel can use.").arg(QFileInfo(path).fileName())),
        {"OK"});
    return;
  }
  delegate_->setOrAddAlbumArtwork(artwork, delegate_->selectedMetadatas());
}

void MainWindow::convertArtwork() {
  if (!allowed(Needs::EditableSelection)) {
    return;
  }
  endEditing();
  const std::size_t index = artwork_->shownIndex();
  const auto artwork =
      TQConvertArtworkWindowController::artworkToConvert(delegate_->selectedMetadatas(), index);
  if (!artwork) {
    return;
  }
  if (convert_.isNull()) {
    convert_ = new ConvertArtworkDialog(this);
  }
  convert_->begin(artwork, [this, index](const AlbumArtworkPtr& converted) {
    // The replacement and its undo step are the core's; then the rules that
    // follow every edit: "saveAfterChange" and a refresh.
    TQConvertArtworkWindowController::replaceDisplayedArtworkWithArtwork(
        delegate_->selectedMetadatas(), index, converted, delegate_->undoManager());
    if (settings().boolForKey("saveAfterChange")) {
      delegate_->save();
    }
    delegate_->updatePreview();
    scheduleRefresh(RefreshEditor);
  });
}

void MainWindow::openInDefaultApplication() {
  const auto selected = delegate_->selectedMetadatas();
  if (selected.empty() || !selected.front()->sourceLocation()) {
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(toQString(*selected.front()->sourceLocation())));
}

void MainWindow::showHexView() {
  const auto selected = delegate_->selectedMetadatas();
  if (selected.empty() || !selected.front()->sourceLocation()) {
    return;
  }
  auto* window = new HexWindow(this);
  window->openFile(toQString(*selected.front()->sourceLocation()));
  window->show();
  hexWindows_.emplace_back(window);
}

void MainWindow::showAbout() {
  QMessageBox::about(
      this, tr("About Quorvel"),
      tr("<h3>Quorvel %1</h3><p>An editor for the tags of audio files: edit a whole selection at "
         "once, with undo, and save back into every format.</p>")
          .arg(QStringLiteral(QUORVEL_VERSION)));
}

// --- Files from outside ---------------------------------------------------------------

void MainWindow::openPaths(const QStringList& paths) {
  std::vector<std::string> list;
  for (const QString& path : paths) {
    list.push_back(toStdString(QFileInfo(path).absoluteFilePath()));
  }
  if (!list.empty()) {
    delegate_->openFiles(list);
  }
}

namespace {

// The files of a drop: file URLs, or the tracks of a music-library drag.
std::vector<std::string> droppedPaths(const QMimeData& mime) {
  std::vector<std::string> paths;
  for (const QUrl& url : mime.urls()) {
    if (url.isLocalFile()) {
      paths.push_back(toStdString(url.toLocalFile()));
    }
  }
  const QString tracksType = QString::fromLatin1(AppDelegate::kMusicLibraryTracksPasteboardType);
  if (paths.empty() && mime.hasFormat(tracksType)) {
    if (auto tracks = plist::parse(toData(mime.data(tracksType)))) {
      paths = AppDelegate::filePathsFromMusicLibraryTracks(*tracks);
    }
  }
  return paths;
}

}  // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  const QMimeData* mime = event->mimeData();
  bool files = mime->hasFormat(QString::fromLatin1(AppDelegate::kMusicLibraryTracksPasteboardType));
  for (const QUrl& url : mime->urls()) {
    files = files || url.isLocalFile();
  }
  if (files && idle()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  const std::vector<std::string> paths = droppedPaths(*event->mimeData());
  if (paths.empty() || !idle()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  // After the drop has finished: the add run may ask questions.
  QTimer::singleShot(0, this, [this, paths] { delegate_->filesWereDropped(paths); });
}

// --- Quitting -------------------------------------------------------------------------

void MainWindow::applicationMayQuit(bool quit) {
  if (!quit) {
    return;
  }
  quitApproved_ = true;
  QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!quitApproved_) {
    if (!idle()) {
      event->ignore();  // a sheet is up: finish or cancel it first
      return;
    }
    endEditing();
    switch (delegate_->applicationShouldTerminate()) {
      case AppDelegate::TerminateReply::Now:
        quitApproved_ = true;
        break;
      case AppDelegate::TerminateReply::Later:
      case AppDelegate::TerminateReply::Cancel:
        event->ignore();
        return;
    }
  }
  saveLayout();
  setSettingBytes(saveGeometry(), kGeometryKey);
  setSettingBytes(saveState(), kStateKey);
  setSettingBytes(splitter_->saveState(), kSplitterKey);
  setSettingBytes(sideSplitter_->saveState(), kSideSplitterKey);
  settings().setInteger(sideTabs_->currentIndex(), kSideTabKey);
  event->accept();
  // Other top-level windows (error log, hex views) must not keep the process alive.
  QTimer::singleShot(0, qApp, &QApplication::quit);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!fitColumnsOnShow_) {
    return;
  }
  fitColumnsOnShow_ = false;
  // First run: shrink the default columns so they fit the table's width.
  QTimer::singleShot(0, this, [this] {
    auto* header = table_->horizontalHeader();
    const int available = table_->viewport()->width();
    int fixed = 0;
    int flexible = 0;
    for (int i = 0; i < header->count(); ++i) {
      const bool indicator =
          FileTableModel::isIndicatorColumn(tableModel_->columns()[static_cast<std::size_t>(i)]);
      (indicator ? fixed : flexible) += header->sectionSize(i);
    }
    if (flexible <= 0 || fixed + flexible <= available) {
      return;
    }
    const double scale = static_cast<double>(std::max(available - fixed, 200)) / flexible;
    layoutRestored_ = false;
    for (int i = 0; i < header->count(); ++i) {
      if (!FileTableModel::isIndicatorColumn(tableModel_->columns()[static_cast<std::size_t>(i)])) {
        // Never narrower than the title.
        const QString title =
            tableModel_->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
        const int least = header->fontMetrics().horizontalAdvance(title) + 14;
        header->resizeSection(i, std::max(least, static_cast<int>(header->sectionSize(i) * scale)));
      }
    }
    layoutRestored_ = true;
  });
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::PaletteChange && tableModel_ != nullptr) {
    // Light or dark: the drawn icons and the preview colour follow.
    scheduleRefresh(RefreshTable | RefreshEditor);
  }
}

// --- Screenshots ---------------------------------------------------------------------------

bool MainWindow::saveScreenshot(const QString& path, const QString& what) {
  refreshNow();
  QWidget* target = this;
  if (what == QStringLiteral("alltags")) {
    sideTabs_->setCurrentIndex(1);
  } else if (what.startsWith(QStringLiteral("preferences"))) {
    showPreferences();
    preferences_->setCurrentPage(what.section(QLatin1Char(':'), 1).toInt());
    target = preferences_.data();
  } else if (what == QStringLiteral("mappings")) {
    showTagMappings();
    target = mappings_.data();
  } else if (what == QStringLiteral("errorlog")) {
    showErrorLog();
    target = errorLog_.data();
  } else if (what == QStringLiteral("hex")) {
    showHexView();
    target = hexWindows_.empty() ? nullptr : hexWindows_.back().data();
  } else if (what == QStringLiteral("convert")) {
    convertArtwork();
    target = convert_.data();
  } else if (what == QStringLiteral("alert")) {
    std::vector<QPushButton*> buttons;
    QPushButton* escape = nullptr;
    auto box = QtUIHost::makeAlert(this, "There Are Still Unsaved Changes.", "",
                                   {"Save And Quit", "Quit Without Saving", "Cancel"}, nullptr,
                                   &buttons, &escape);
    box->show();
    for (int i = 0; i < 5; ++i) {
      QApplication::processEvents();
    }
    return box->grab().save(path, "PNG");
  } else if (what == QStringLiteral("progress")) {
    host_->progressSheet()->begin(tr("Saving 3 of 15 files"), false, 20);
    target = host_->progressSheet();
  } else if (what == QStringLiteral("export")) {
    SavePanelAccessory accessory = AppDelegate::exportPanelAccessory(true);
    accessory.selectedTag = MetadataExchangeInterface::kExportTypeXML;
    AppDelegate::exportFileTypePopupButtonChanged(accessory);
    AccessorySavePanel panel(this, tr("Export Metadata"), QStringLiteral("Metadata"), accessory);
    panel.show();
    for (int i = 0; i < 5; ++i) {
      QApplication::processEvents();
    }
    return panel.grab().save(path, "PNG");
  } else if (what == QStringLiteral("addtag")) {
    showAddTag(QStringLiteral("MOOD"));
    target = addTag_.data();
  }
  if (target == nullptr) {
    return false;
  }
  // Let the windows lay themselves out and paint first.
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents();
  }
  return target->grab().save(path, "PNG");
}

}  // namespace quorvel::ui
