#include "ui/TagMappingsWindow.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include <array>
#include <set>

#include "model/TagKeys.h"
#include "platform/UserDefaults.h"
#include "ui/QtConversions.h"

namespace quorvel::ui {

namespace {

struct FormatColumn {
  TagFormat format;
  const char* title;
};

// The editable columns, after the key and its description.
constexpr std::array<FormatColumn, 5> kFormats = {{
    {TagFormat::APE, "APE"},
    {TagFormat::ASF, "ASF"},
    {TagFormat::MP4, "MP4"},
    {TagFormat::Vorbis, "Vorbis"},
    {TagFormat::INFO, "INFO"},
}};
constexpr int kFirstFormatColumn = 2;
constexpr int kKeyRole = Qt::UserRole + 1;

}  // namespace

TagMappingsWindow::TagMappingsWindow(QWidget* parent)
    : QWidget(parent, Qt::Window),
      table_(new QTableWidget(this)),
      iTunesSwitch_(new QCheckBox(this)) {
  setWindowTitle(tr("Tag Mappings"));
  auto* intro = new QLabel(
      tr("The names under which each tag format stores a tag. Several names are separated by "
         "commas: the first is written, all are read. Clear a cell to use the built-in names."),
      this);
  intro->setWordWrap(true);

  QStringList headers = {tr("Tag"), tr("Description")};
  for (const auto& column : kFormats) {
    headers << QString::fromLatin1(column.title);
  }
  table_->setColumnCount(static_cast<int>(headers.size()));
  table_->setHorizontalHeaderLabels(headers);
  table_->verticalHeader()->hide();
  table_->setAlternatingRowColors(true);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  table_->setColumnWidth(0, 150);
  table_->setColumnWidth(1, 250);
  for (int c = kFirstFormatColumn; c < table_->columnCount(); ++c) {
    table_->setColumnWidth(c, 140);
  }
  table_->horizontalHeader()->setStretchLastSection(true);

  iTunesSwitch_->setText(
      tr("iTunes-compatible work and movement (ID3v2: Work in TIT1, Grouping "
         "in GRP1)"));
  iTunesSwitch_->setToolTip(
      tr("Off keeps the ID3v2 standard: Grouping in TIT1 and Work in a TXXX frame."));
  auto* restore = new QPushButton(tr("Use Built-in Names"), this);
  restore->setToolTip(tr("Removes the overrides of the selected cells."));

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(iTunesSwitch_, 1);
  bottom->addWidget(restore);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(intro);
  layout->addWidget(table_, 1);
  layout->addLayout(bottom);
  resize(1180, 640);

  connect(table_, &QTableWidget::itemChanged, this, &TagMappingsWindow::cellEdited);
  connect(restore, &QPushButton::clicked, this, &TagMappingsWindow::restoreSelected);
  connect(iTunesSwitch_, &QCheckBox::toggled, this, [](bool on) {
    UserDefaults::standard().setBool(on, kITunesWorkMovementCompatibilityKey);
    tagMappingsDidChange(TagFormat::ID3v2);
  });
  reload();
}

void TagMappingsWindow::showAndRaise() {
  reload();
  show();
  raise();
  activateWindow();
}

QString TagMappingsWindow::namesFor(TagFormat format, const std::string& key) const {
  const auto table = tagMappings(format);
  const auto it = table->find(key);
  if (it == table->end()) {
    return {};
  }
  QStringList names = toQStringList(it->second);
  return names.join(QStringLiteral(", "));
}

void TagMappingsWindow::reload() {
  loading_ = true;
  const QSignalBlocker block(table_);
  const auto& keys = mappableInternalKeys();
  table_->setRowCount(static_cast<int>(keys.size()));
  for (int row = 0; row < static_cast<int>(keys.size()); ++row) {
    const std::string& key = keys[static_cast<std::size_t>(row)];
    const QString description = toQString(tagDescription(key));
    auto* name = new QTableWidgetItem(toQString(tagDisplayName(key)));
    name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    name->setToolTip(toQString(key));
    name->setData(kKeyRole, toQString(key));
    table_->setItem(row, 0, name);
    auto* about = new QTableWidgetItem(description);
    about->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    about->setToolTip(description);
    table_->setItem(row, 1, about);
    for (std::size_t f = 0; f < kFormats.size(); ++f) {
      auto* cell = new QTableWidgetItem(namesFor(kFormats[f].format, key));
      cell->setToolTip(description);
      const std::string setting = std::string(tagMappingSettingPrefix(kFormats[f].format)) + key;
      // Overridden names are shown in bold so they stand out from the built-in ones.
      if (!UserDefaults::standard().stringForKey(setting).value_or(std::string()).empty()) {
        QFont font = cell->font();
        font.setBold(true);
        cell->setFont(font);
      }
      table_->setItem(row, kFirstFormatColumn + static_cast<int>(f), cell);
    }
  }
  {
    const QSignalBlocker blockSwitch(iTunesSwitch_);
    iTunesSwitch_->setChecked(
        UserDefaults::standard().boolForKey(kITunesWorkMovementCompatibilityKey));
  }
  loading_ = false;
}

void TagMappingsWindow::cellEdited(QTableWidgetItem* item) {
  if (loading_ || item->column() < kFirstFormatColumn) {
    return;
  }
  const auto& column = kFormats[static_cast<std::size_t>(item->column() - kFirstFormatColumn)];
  const std::string key = toStdString(table_->item(item->row(), 0)->data(kKeyRole).toString());
  const std::string setting = std::string(tagMappingSettingPrefix(column.format)) + key;
  const QString text = item->text().trimmed();
  if (text.isEmpty()) {
    UserDefaults::standard().removeObjectForKey(setting);
  } else {
    UserDefaults::standard().setObject(PlistValue(toStdString(text)), setting);
  }
  tagMappingsDidChange(column.format);
  // Show the names as the rebuilt table has them (trimmed, or the built-in ones).
  const QSignalBlocker block(table_);
  item->setText(namesFor(column.format, key));
  QFont font = item->font();
  font.setBold(!text.isEmpty());
  item->setFont(font);
}

void TagMappingsWindow::restoreSelected() {
  std::set<TagFormat> changed;
  for (QTableWidgetItem* item : table_->selectedItems()) {
    if (item->column() < kFirstFormatColumn) {
      continue;
    }
    const auto& column = kFormats[static_cast<std::size_t>(item->column() - kFirstFormatColumn)];
    const std::string key = toStdString(table_->item(item->row(), 0)->data(kKeyRole).toString());
    UserDefaults::standard().removeObjectForKey(
        std::string(tagMappingSettingPrefix(column.format)) + key);
    changed.insert(column.format);
  }
  for (TagFormat format : changed) {
    tagMappingsDidChange(format);
  }
  reload();
}

}  // namespace quorvel::ui
