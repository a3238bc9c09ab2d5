#include "ui/QtUIHost.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QMetaObject>
#include <QMimeData>
#include <QPushButton>
#include <QThread>
#include <QUrl>

#include <iostream>

#include "ui/AccessorySavePanel.h"
#include "ui/AppIcon.h"
#include "ui/MainWindow.h"
#include "ui/ProgressSheet.h"
#include "ui/QtConversions.h"

namespace quorvel::ui {

namespace {

bool onGuiThread() {
  return QCoreApplication::instance() != nullptr &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Keeps the count of open alerts and panels for as long as one is shown.
class ModalScope {
 public:
  explicit ModalScope(int& depth) : depth_(depth) { ++depth_; }
  ~ModalScope() { --depth_; }
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;

 private:
  int& depth_;
};

QStringList nameFilters(const std::vector<std::string>& extensions,
                        const QString& description = QObject::tr("Audio files")) {
  QStringList patterns;
  for (const auto& extension : extensions) {
    const QString e = toQString(extension);
    patterns << QStringLiteral("*.") + e << QStringLiteral("*.") + e.toUpper();
  }
  QStringList filters;
  if (!patterns.isEmpty()) {
    filters << QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' ')));
  }
  filters << QObject::tr("All files (*)");
  return filters;
}

// The one file the dialog was accepted with, if any.
std::optional<std::string> acceptedFile(QFileDialog& dialog) {
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
    return toStdString(dialog.selectedFiles().front());
  }
  return std::nullopt;
}

}  // namespace

QtUIHost::QtUIHost(MainWindow& window) : window_(&window) {}

void QtUIHost::onMainThread(const std::function<void()>& fn, bool wait) {
  if (onGuiThread()) {
    fn();
    return;
  }
  if (window_.isNull()) {
    return;
  }
  QMetaObject::invokeMethod(window_.data(), fn,
                            wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

ProgressSheet* QtUIHost::progressSheet() {
  if (sheet_.isNull() && !window_.isNull()) {
    sheet_ = new ProgressSheet(window_.data());
    QObject::connect(sheet_.data(), &ProgressSheet::cancelRequested, sheet_.data(), [this] {
      if (cancelHandler_) {
        cancelHandler_();
      }
    });
  }
  return sheet_.data();
}

// --- Questions -----------------------------------------------------------------

std::unique_ptr<QMessageBox> QtUIHost::makeAlert(QWidget* parent, const std::string& heading,
                                                 const std::string& text,
                                                 const std::vector<std::string>& buttons,
                                                 const Data* icon, std::vector<QPushButton*>* added,
                                                 QPushButton** escape) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setWindowModality(Qt::WindowModal);
  box->setWindowTitle(QStringLiteral("Quorvel"));
  // The heading stands out as a title, the text below explains.
  box->setTextFormat(Qt::RichText);
  box->setText(QStringLiteral("<b>%1</b>").arg(toQString(heading).toHtmlEscaped()));
  box->setInformativeText(toQString(text));
  QPixmap pixmap;
  if (icon != nullptr && !icon->empty()) {
    pixmap.loadFromData(toQByteArray(*icon));
  }
  if (pixmap.isNull()) {
    pixmap = appIcon().pixmap(64, 64);
  } else {
    pixmap = pixmap.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  box->setIconPixmap(pixmap);

  const std::vector<std::string> titles =
      buttons.empty() ? std::vector<std::string>{"OK"} : buttons;
  added->clear();
  for (std::size_t i = 0; i < titles.size(); ++i) {
    const QString title = toQString(titles[i]);
    // Roles only place the buttons as the desktop expects; the answer is
    // the position in the list.
    QMessageBox::ButtonRole role = QMessageBox::ActionRole;
    if (i == 0) {
      role = QMessageBox::AcceptRole;
    } else if (title == QStringLiteral("Cancel") || title == QStringLiteral("No")) {
      role = QMessageBox::RejectRole;
    }
    added->push_back(box->addButton(title, role));
  }
  box->setDefaultButton(added->front());
  *escape = added->size() == 1 ? added->front() : nullptr;
  for (std::size_t i = 1; i < added->size(); ++i) {
    if (box->buttonRole((*added)[i]) == QMessageBox::RejectRole) {
      *escape = (*added)[i];
    }
  }
  if (*escape != nullptr) {
    box->setEscapeButton(*escape);
  }
  return box;
}

int QtUIHost::alert(const std::string& heading, const std::string& text,
                    const std::vector<std::string>& buttons, const Data* icon) {
  const int first = 1000;
  if (nonInteractive_ || window_.isNull()) {
    std::cerr << "quorvel: alert \"" << heading << "\" answered \""
              << (buttons.empty() ? std::string("OK") : buttons.front()) << "\"\n";
    return first;
  }
  const ModalScope scope(modalDepth_);
  std::vector<QPushButton*> added;
  QPushButton* escape = nullptr;
  const auto box = makeAlert(window_.data(), heading, text, buttons, icon, &added, &escape);
  box->exec();
  for (std::size_t i = 0; i < added.size(); ++i) {
    if (box->clickedButton() == added[i]) {
      return first + static_cast<int>(i);
    }
  }
  // Closed without a button (window manager): the escape button's answer.
  for (std::size_t i = 0; i < added.size(); ++i) {
    if (added[i] == escape) {
      return first + static_cast<int>(i);
    }
  }
  return first;
}

int QtUIHost::runAlert(const std::string& heading, const std::string& text,
                       const std::vector<std::string>& buttons) {
  int answer = 1000;
  onMainThread([&] { answer = alert(heading, text, buttons, nullptr); }, true);
  return answer;
}

int QtUIHost::runAlertWithIcon(const std::string& heading, const std::string& text,
                               const std::vector<std::string>& buttons, const Data& icon) {
  int answer = 1000;
  onMainThread([&] { answer = alert(heading, text, buttons, &icon); }, true);
  return answer;
}

std::optional<std::string> QtUIHost::runPanel(
    const std::function<std::optional<std::string>(QWidget*)>& show) {
  std::optional<std::string> result;
  onMainThread(
      [&] {
        if (nonInteractive_ || window_.isNull()) {
          return;
        }
        const ModalScope scope(modalDepth_);
        result = show(window_.data());
      },
      true);
  return result;
}

std::optional<std::string> QtUIHost::chooseFolder(const std::string& title,
                                                  const std::string& startFolder,
                                                  const std::string& buttonTitle) {
  return runPanel([&](QWidget* parent) {
    QFileDialog dialog(parent, toQString(title), toQString(startFolder));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!buttonTitle.empty()) {
      dialog.setLabelText(QFileDialog::Accept, toQString(buttonTitle));
    }
    return acceptedFile(dialog);
  });
}

std::vector<std::string> QtUIHost::chooseFilesToOpen(
    const std::vector<std::string>& allowedExtensions) {
  std::vector<std::string> result;
  const bool folder = nextPanelChoosesFolder_;
  nextPanelChoosesFolder_ = false;
  onMainThread(
      [&] {
        if (nonInteractive_ || window_.isNull()) {
          return;
        }
        const ModalScope scope(modalDepth_);
        if (folder) {
          const QString path = QFileDialog::getExistingDirectory(
              window_.data(), QObject::tr("Add Folder"), QDir::homePath());
          if (!path.isEmpty()) {
            result.push_back(toStdString(path));
          }
          return;
        }
        QFileDialog dialog(window_.data(), QObject::tr("Add Files"), QDir::homePath());
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setNameFilters(nameFilters(allowedExtensions));
        dialog.setLabelText(QFileDialog::Accept, QObject::tr("Add"));
        if (dialog.exec() == QDialog::Accepted) {
          result = toStdStrings(dialog.selectedFiles());
        }
      },
      true);
  return result;
}

std::optional<std::string> QtUIHost::chooseSaveFile(
    const std::string& title, const std::string& suggestedName,
    const std::vector<std::string>& allowedExtensions) {
  return runPanel([&](QWidget* parent) {
    QFileDialog dialog(parent, toQString(title), QDir::home().filePath(toQString(suggestedName)));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    QStringList filters;
    for (const auto& extension : allowedExtensions) {
      filters
          << QStringLiteral("%1 (*.%2)").arg(toQString(extension).toUpper(), toQString(extension));
    }
    if (!filters.isEmpty()) {
      dialog.setNameFilters(filters);
      dialog.setDefaultSuffix(toQString(allowedExtensions.front()));
    }
    return acceptedFile(dialog);
  });
}

std::optional<std::string> QtUIHost::chooseFileToOpen(
    const std::string& title, const std::vector<std::string>& allowedExtensions) {
  return runPanel([&](QWidget* parent) {
    QFileDialog dialog(parent, toQString(title), QDir::homePath());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(nameFilters(allowedExtensions, QObject::tr("Metadata files")));
    return acceptedFile(dialog);
  });
}

std::optional<std::string> QtUIHost::chooseSaveFileWithAccessory(const std::string& title,
                                                                 const std::string& suggestedName,
                                                                 SavePanelAccessory& accessory) {
  return runPanel([&](QWidget* parent) {
    AccessorySavePanel panel(parent, toQString(title), toQString(suggestedName), accessory);
    return panel.run();
  });
}

// --- The progress sheet -------------------------------------------------------------

void QtUIHost::beginProgressSheet(const std::string& message, bool indeterminate, double value) {
  onMainThread(
      [this, message, indeterminate, value] {
        if (ProgressSheet* sheet = progressSheet()) {
          if (!nonInteractive_) {
            sheet->begin(toQString(message), indeterminate, value);
          }
        }
        if (!window_.isNull()) {
          window_->updateCommands();
        }
      },
      false);
}

void QtUIHost::setProgressText(const std::string& message) {
  onMainThread(
      [this, message] {
        if (ProgressSheet* sheet = progressSheet()) {
          sheet->setMessage(toQString(message));
        }
      },
      false);
}

void QtUIHost::setProgressValue(double value) {
  onMainThread(
      [this, value] {
        if (ProgressSheet* sheet = progressSheet()) {
          sheet->setValue(value);
        }
      },
      false);
}

void QtUIHost::setProgressIndeterminate(bool indeterminate) {
  onMainThread(
      [this, indeterminate] {
        if (ProgressSheet* sheet = progressSheet()) {
          sheet->setIndeterminate(indeterminate);
        }
      },
      false);
}

void QtUIHost::endProgressSheet(int /*returnCode*/) {
  onMainThread(
      [this] {
        if (!sheet_.isNull()) {
          sheet_->end();
        }
        if (!window_.isNull()) {
          window_->updateCommands();
        }
      },
      false);
}

// --- The main window ---------------------------------------------------------------

void QtUIHost::reloadTable() {
  onMainThread(
      [this] {
        if (!window_.isNull()) window_->scheduleRefresh(MainWindow::RefreshTable);
      },
      false);
}

void QtUIHost::selectionDidChange() {
  onMainThread(
      [this] {
        if (!window_.isNull()) window_->scheduleRefresh(MainWindow::RefreshSelection);
      },
      false);
}

void QtUIHost::refreshEditor() {
  onMainThread(
      [this] {
        if (!window_.isNull()) window_->scheduleRefresh(MainWindow::RefreshEditor);
      },
      false);
}

void QtUIHost::endEditing() {
  onMainThread(
      [this] {
        if (!window_.isNull()) window_->endEditing();
      },
      true);
}

void QtUIHost::setSearchPlaceholder(const std::string& placeholder) {
  onMainThread(
      [this, placeholder] {
        if (!window_.isNull()) {
          window_->setSearchPlaceholder(toQString(placeholder));
        }
      },
      false);
}

void QtUIHost::showErrorLog() {
  onMainThread(
      [this] {
        if (!window_.isNull()) window_->showErrorLog();
      },
      false);
}

void QtUIHost::closeAllAuxillaryWindows() {
  onMainThread(
      [this] {
        if (!window_.isNull()) window_->closeAuxiliaryWindows();
      },
      false);
}

// --- Pasteboard -------------------------------------------------------------------

PasteboardContents QtUIHost::readPasteboard() {
  PasteboardContents contents;
  onMainThread(
      [&contents] {
        const QMimeData* mime = QApplication::clipboard()->mimeData();
        if (mime == nullptr) {
          return;
        }
        const QString artworkType = QString::fromLatin1(kArtworkMimeType);
        if (mime->hasFormat(artworkType)) {
          contents.artworkArchive = toData(mime->data(artworkType));
        }
        const QString metadataType = QString::fromLatin1(kMetadataMimeType);
        if (mime->hasFormat(metadataType)) {
          contents.metadata = plist::parse(toData(mime->data(metadataType)));
        }
        for (const QUrl& url : mime->urls()) {
          if (url.isLocalFile()) {
            contents.fileURLs.push_back(toStdString(url.toString(QUrl::FullyEncoded)));
          }
        }
        if (mime->hasText()) {
          contents.string = toStdString(mime->text());
        }
        if (mime->hasImage()) {
          const QImage image = qvariant_cast<QImage>(mime->imageData());
          QByteArray bytes;
          QBuffer buffer(&bytes);
          buffer.open(QIODevice::WriteOnly);
          if (!image.isNull() && image.save(&buffer, "PNG")) {
            contents.image = toData(bytes);
          }
        }
      },
      true);
  return contents;
}

void QtUIHost::writePasteboard(const PasteboardContents& contents) {
  onMainThread(
      [contents] {
        auto* mime = new QMimeData;  // the clipboard takes it
        if (contents.artworkArchive) {
          mime->setData(QString::fromLatin1(kArtworkMimeType),
                        toQByteArray(*contents.artworkArchive));
        }
        if (contents.metadata) {
          mime->setData(QString::fromLatin1(kMetadataMimeType),
                        toQByteArray(plist::serialize(*contents.metadata)));
        }
        QList<QUrl> urls;
        for (const auto& url : contents.fileURLs) {
          urls << QUrl(toQString(url));
        }
        if (!urls.isEmpty()) {
          mime->setUrls(urls);
        }
        if (contents.string) {
          mime->setText(toQString(*contents.string));
        }
        if (contents.image) {
          const QImage image = QImage::fromData(toQByteArray(*contents.image));
          if (!image.isNull()) {
            mime->setImageData(image);
          }
        }
        QApplication::clipboard()->setMimeData(mime);
      },
      false);
}

void QtUIHost::replyToApplicationShouldTerminate(bool shouldTerminate) {
  onMainThread(
      [this, shouldTerminate] {
        if (!window_.isNull()) {
          window_->applicationMayQuit(shouldTerminate);
        }
      },
      false);
}

}  // namespace quorvel::ui
