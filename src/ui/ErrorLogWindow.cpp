#include "ui/ErrorLogWindow.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "document/ErrorLogWindowController.h"
#include "ui/ErrorLogModel.h"
#include "ui/QtConversions.h"

namespace quorvel::ui {

ErrorLogWindow::ErrorLogWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), model_(new ErrorLogModel(this)), table_(new QTableView(this)) {
  setWindowTitle(tr("Error Log"));
  table_->setModel(model_);
  table_->setWordWrap(true);
  table_->setAlternatingRowColors(true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setColumnWidth(0, 150);
  table_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);

  auto* save = new QPushButton(tr("Save…"), this);
  auto* clear = new QPushButton(tr("Clear"), this);
  auto* mail = new QPushButton(tr("Mail Report"), this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(clear);
  buttons->addStretch(1);
  buttons->addWidget(mail);
  buttons->addWidget(save);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_, 1);
  layout->addLayout(buttons);
  resize(680, 360);

  connect(save, &QPushButton::clicked, this, &ErrorLogWindow::save);
  connect(clear, &QPushButton::clicked, this,
          [] { ErrorLogWindowController::sharedController().clear(); });
  connect(mail, &QPushButton::clicked, this, &ErrorLogWindow::mailReport);
  // Each row as tall as its wrapped message, measured again when the column
  // width changes.
  connect(model_, &QAbstractItemModel::modelReset, this, &ErrorLogWindow::resizeRows);
  connect(table_->horizontalHeader(), &QHeaderView::sectionResized, this,
          [this] { QTimer::singleShot(0, this, &ErrorLogWindow::resizeRows); });
}

void ErrorLogWindow::showAndRaise() {
  show();
  raise();
  activateWindow();
  resizeRows();
}

void ErrorLogWindow::resizeRows() {
  if (isVisible()) {
    table_->resizeRowsToContents();
  }
}

void ErrorLogWindow::save() {
  const QString path = QFileDialog::getSaveFileName(
      this, tr("Save Error Log"), QDir::home().filePath(QStringLiteral("Quorvel Errors.log")),
      tr("Log files (*.log)"));
  if (path.isEmpty()) {
    return;
  }
  QString target = path;
  if (!target.endsWith(QStringLiteral(".log"), Qt::CaseInsensitive)) {
    target += QStringLiteral(".log");
  }
  Error error;
  if (!ErrorLogWindowController::sharedController().save(toStdString(target), &error)) {
    QMessageBox::warning(this, tr("Could Not Save Log"), toQString(error.localizedDescription));
  }
}

void ErrorLogWindow::mailReport() {
  const auto url = ErrorLogWindowController::sharedController().emailReportURL();
  if (!QDesktopServices::openUrl(QUrl(toQString(url), QUrl::StrictMode))) {
    Error error;
    if (!ErrorLogWindowController::sharedController().emailReportToDeveloper(&error)) {
      QMessageBox::warning(this, tr("Could Not Open Mail"), toQString(error.localizedDescription));
    }
  }
}

}  // namespace quorvel::ui
