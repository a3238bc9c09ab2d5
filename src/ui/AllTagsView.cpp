#include "ui/AllTagsView.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/AllTagsModel.h"
#include "ui/PreviewItemDelegate.h"
#include "ui/QtConversions.h"

namespace quorvel::ui {

AllTagsView::AllTagsView(AppDelegate& delegate, QWidget* parent)
    : QWidget(parent),
      delegate_(delegate),
      model_(new AllTagsModel(delegate, this)),
      tree_(new QTreeView(this)),
      delete_(new QPushButton(tr("Delete"), this)),
      copy_(new QPushButton(tr("Copy"), this)) {
  tree_->setModel(model_);
  tree_->setItemDelegate(
      new PreviewItemDelegate(AllTagsModel::PreviewRole, AllTagsModel::PlaceholderRole, tree_));
  tree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  tree_->setSelectionBehavior(QAbstractItemView::SelectRows);
  tree_->setAlternatingRowColors(true);
  tree_->setUniformRowHeights(true);
  tree_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::SelectedClicked);
  tree_->header()->setStretchLastSection(true);
  tree_->setColumnWidth(0, 150);
  tree_->setContextMenuPolicy(Qt::CustomContextMenu);

  auto* add = new QPushButton(tr("Add Tag…"), this);
  delete_->setToolTip(tr("Delete the selected tags from the selected files"));
  copy_->setToolTip(tr("Copy the selected tags of the selected files"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add);
  buttons->addStretch(1);
  buttons->addWidget(copy_);
  buttons->addWidget(delete_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(tree_, 1);
  layout->addLayout(buttons);

  connect(model_, &AllTagsModel::rowEdited, this, &AllTagsView::rowEdited);
  connect(add, &QPushButton::clicked, this, [this] {
    const auto keys = selectedKeys();
    Q_EMIT addTagRequested(keys.empty() ? QString() : toQString(keys.front()));
  });
  connect(delete_, &QPushButton::clicked, this, &AllTagsView::deleteRequested);
  connect(copy_, &QPushButton::clicked, this, &AllTagsView::copySelectedRequested);
  connect(tree_, &QTreeView::expanded, this,
          [this](const QModelIndex& index) { expanded_.insert(model_->rowFor(index).key); });
  connect(tree_, &QTreeView::collapsed, this,
          [this](const QModelIndex& index) { expanded_.erase(model_->rowFor(index).key); });
  connect(tree_, &QTreeView::customContextMenuRequested, this, [this](const QPoint& point) {
    const QModelIndex clicked = tree_->indexAt(point);
    if (clicked.isValid() && !tree_->selectionModel()->isSelected(clicked)) {
      tree_->selectionModel()->select(
          clicked, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QMenu menu(this);
    menu.addAction(tr("Copy Selected Metadata"), this, &AllTagsView::copySelectedRequested)
        ->setEnabled(!selectedKeys().empty());
    menu.addAction(tr("Delete Selected Tags"), this, &AllTagsView::deleteRequested)
        ->setEnabled(!selectedKeys().empty() && !delegate_.previewMode());
    menu.exec(tree_->viewport()->mapToGlobal(point));
  });
  auto* deleteKey = new QAction(this);
  deleteKey->setShortcuts({QKeySequence::Delete, QKeySequence(Qt::Key_Backspace)});
  deleteKey->setShortcutContext(Qt::WidgetShortcut);
  tree_->addAction(deleteKey);
  connect(deleteKey, &QAction::triggered, this, &AllTagsView::deleteRequested);
  refresh();
}

void AllTagsView::refresh() {
  model_->refresh();
  for (const auto& key : expanded_) {
    const QModelIndex index = model_->indexForKey(key);
    if (index.isValid()) {
      tree_->setExpanded(index, true);
    }
  }
  connect(tree_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &AllTagsView::updateButtons, Qt::UniqueConnection);
  updateButtons();
}

void AllTagsView::updateButtons() {
  const bool any = !selectedKeys().empty();
  delete_->setEnabled(any && !delegate_.previewMode());
  copy_->setEnabled(any);
}

std::vector<AppDelegate::AllTagsRow> AllTagsView::selectedRows() const {
  QModelIndexList rows = tree_->selectionModel()->selectedRows(0);
  if (rows.isEmpty() && tree_->currentIndex().isValid()) {
    rows.append(tree_->currentIndex().siblingAtColumn(0));
  }
  // Outline order, so that deleting from the last row up keeps the indexes true.
  std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) {
    const int pa = a.parent().isValid() ? a.parent().row() : a.row();
    const int pb = b.parent().isValid() ? b.parent().row() : b.row();
    if (pa != pb) {
      return pa < pb;
    }
    const int ca = a.parent().isValid() ? a.row() + 1 : 0;
    const int cb = b.parent().isValid() ? b.row() + 1 : 0;
    return ca < cb;
  });
  std::vector<AppDelegate::AllTagsRow> result;
  for (const QModelIndex& index : rows) {
    result.push_back(model_->rowFor(index));
  }
  return result;
}

std::vector<std::string> AllTagsView::selectedKeys() const {
  std::vector<std::string> keys;
  for (const auto& row : selectedRows()) {
    if (!row.key.empty() && std::find(keys.begin(), keys.end(), row.key) == keys.end()) {
      keys.push_back(row.key);
    }
  }
  return keys;
}

}  // namespace quorvel::ui
