// Export and import of metadata files: the panels, the workers under the
// progress sheet, the count alert and the progress messages.

#include "document/AppDelegate.h"
#include "document/ErrorLogWindowController.h"
#include "platform/UIHost.h"
#include "platform/UserDefaults.h"
#include "support/StringFormat.h"

namespace quorvel {

namespace {

constexpr const char* kExportArtworkSetting = "exportAlbumArtwork";

std::string number(std::size_t value) { return std::to_string(value); }

}  // namespace

// --- Export --------------------------------------------------------------------------------

void AppDelegate::exportFileTypePopupButtonChanged(SavePanelAccessory& accessory) {
  const bool csv = accessory.selectedTag == MetadataExchangeInterface::kExportTypeCSV;
  // A CSV table has no place for images.
  accessory.checkboxEnabled = !csv;
  accessory.allowedExtensions = {csv ? "csv" : "xml"};
}

SavePanelAccessory AppDelegate::exportPanelAccessory(bool includeArtwork) {
  SavePanelAccessory accessory;
  accessory.popupLabel = localized("File Format:");
  accessory.popupItems = {{localized("CSV"), MetadataExchangeInterface::kExportTypeCSV},
                          {localized("XML"), MetadataExchangeInterface::kExportTypeXML}};
  accessory.selectedTag = MetadataExchangeInterface::kExportTypeCSV;
  accessory.checkboxTitle = localized("Include Album Artwork");
  accessory.checkboxState = includeArtwork;
  accessory.popupChanged = &AppDelegate::exportFileTypePopupButtonChanged;
  exportFileTypePopupButtonChanged(accessory);
  return accessory;
}

void AppDelegate::exportMetadata() {
  // One operation under the sheet at a time.
  if (running_) {
    return;
  }
  ui()->endEditing();
  SavePanelAccessory accessory = exportPanelAccessory(boolSetting(kExportArtworkSetting));
  auto path = ui()->chooseSaveFileWithAccessory(localized("Export Metadata"), localized("Metadata"),
                                                accessory);
  if (!path) {
    return;
  }
  // The check box stands for the setting: it can only have changed while
  // enabled, so a CSV export keeps the stored choice.
  if (accessory.checkboxEnabled) {
    UserDefaults::standard().setBool(accessory.checkboxState, kExportArtworkSetting);
  }
  // Every record, as the table shows them, not only the selection.
  auto records = metadatasInDisplayOrder();
  const bool includingArtwork = boolSetting(kExportArtworkSetting);
  const int type = accessory.selectedTag;
  auto exchange = MetadataExchangeInterface::current();
  if (records.empty() || !exchange) {
    return;
  }
  exchangeRun_ = std::move(exchange);
  cancelled_ = false;
  beginProgressSheet("Exporting Metadata", false, 0);
  // Export only reads the records, but a preview refresh would write them.
  beginRecordsBusy();
  detachNewThread([this, records = std::move(records), path = *path, includingArtwork, type] {
    exportMetadatas(records, path, includingArtwork, type);
  });
}

void AppDelegate::exportMetadatas(const std::vector<AudioMetadataPtr>& records,
                                  const std::string& path, bool includingArtwork, int type) {
  Error error;
  const bool written =
      exchangeRun_->exportMetadatas(records, path, includingArtwork, type, this, &error);
  performOnMainThread(
      [&] {
        exchangeRun_.reset();
        // A cancelled export has no error; a failed write is kept in the log.
        if (!written && !error.localizedDescription.empty()) {
          errorLog().logMessage(stringWithFormat(localized("Could Not Export Metadata To %@: %@"),
                                                 {path, error.localizedDescription}));
        }
        endRecordsBusy();
        endProgressSheet(cancelled_ ? 0 : 1);
        updatePreview();
      },
      true);
}

void AppDelegate::exportProgressDidUpdateWithPercentComplete(double percent,
                                                             std::size_t currentMetadataIndex,
                                                             std::size_t totalMetadatas) {
  setProgressPanelIndicatorValue(percent);
  setProgressPanelTextValue(
      stringWithFormat(localized("Exporting Metadata %ld of %ld"),
                       {number(currentMetadataIndex), number(totalMetadatas)}));
  passCancelToExchange();
}

// --- Import --------------------------------------------------------------------------------

void AppDelegate::importMetadata() {
  ui()->endEditing();
  auto path = ui()->chooseFileToOpen(localized("Import Metadata"), {"csv", "xml"});
  if (path) {
    importMetadataFromURL(*path);
  }
}

void AppDelegate::importMetadataFromURL(const std::string& path) {
  if (running_) {
    return;
  }
  auto exchange = MetadataExchangeInterface::current();
  if (!exchange) {
    return;
  }
  exchangeRun_ = std::move(exchange);
  cancelled_ = false;
  beginProgressSheet("Analyzing File", false, 0);
  detachNewThread([this, path] {
    auto dictionaries = exchangeRun_->arrayOfMetadataDictionariesFromURL(path);
    performOnMainThread([&] { importMetadataFileAnalyzed(std::move(dictionaries)); }, true);
  });
}

void AppDelegate::importMetadataFileAnalyzed(std::optional<std::vector<PlistDict>> dictionaries) {
  // Reading cannot be interrupted, but a Cancel pressed meanwhile still
  // stops the import before it touches a record.
  const bool cancelled = cancelled_;
  // Closed at once rather than by a queued end step, which would otherwise
  // run in the middle of the import that may follow.
  closeProgressSheetNow(cancelled ? 0 : 1);
  if (cancelled || !dictionaries || dictionaries->empty()) {
    exchangeRun_.reset();
    return;
  }
  if (dictionaries->size() == arrayController_.selectionCount()) {
    importMetadataAlertDidEnd(std::move(*dictionaries), true);
    return;
  }
  importMetadataAlertUserCountsDoNotMatch(std::move(*dictionaries));
}

void AppDelegate::importMetadataAlertUserCountsDoNotMatch(std::vector<PlistDict> dictionaries) {
  auto applyToAll = exchangeRun_->applyToAllForCounts(dictionaries.size(),
                                                      arrayController_.selectionCount(), *ui());
  importMetadataAlertDidEnd(std::move(dictionaries), applyToAll);
}

void AppDelegate::importMetadataAlertDidEnd(std::vector<PlistDict> dictionaries,
                                            std::optional<bool> applyToAll) {
  // The records are taken again: they are the ones selected when the
  // question was answered.
  auto records = selectedMetadatas();
  if (!applyToAll || records.empty() || !exchangeRun_) {
    exchangeRun_.reset();
    return;
  }
  cancelled_ = false;
  beginProgressSheet("Importing Metadata", false, 0);
  beginRecordsBusy();
  detachNewThread([this, dictionaries = std::move(dictionaries), records = std::move(records),
                   flag = *applyToAll]() mutable {
    importMetadataFromDictionaries(std::move(dictionaries), records, flag);
  });
}

void AppDelegate::importMetadataFromDictionaries(std::vector<PlistDict> dictionaries,
                                                 const std::vector<AudioMetadataPtr>& records,
                                                 bool applyToAll) {
  // The undo group is opened and closed on this worker, while the main
  // thread accepts no edits; the save waits for the sheet to close.
  bool saveAsked = false;
  exchangeRun_->importMetadataFromDictionaries(std::move(dictionaries), records, applyToAll,
                                               undoManager_.get(), this,
                                               [&saveAsked] { saveAsked = true; });
  performOnMainThread(
      [&] {
        exchangeRun_.reset();
        endRecordsBusy();
        endProgressSheet(cancelled_ ? 0 : 1);
        if (saveAsked) {
          save();
        }
        updatePreview();
      },
      true);
}

void AppDelegate::importProgressDidUpdateWithPercentComplete(double percent,
                                                             std::size_t currentMetadataIndex,
                                                             std::size_t totalMetadatas) {
  setProgressPanelIndicatorValue(percent);
  setProgressPanelTextValue(
      stringWithFormat(localized("Importing Metadata %ld of %ld"),
                       {number(currentMetadataIndex), number(totalMetadatas)}));
  passCancelToExchange();
}

// --- Shared ----------------------------------------------------------------------------------

void AppDelegate::closeProgressSheetNow(int returnCode) {
  ui()->endProgressSheet(returnCode);
  progressPanelEndActions();
}

void AppDelegate::passCancelToExchange() {
  // The exchange tests its own flag right after each report, so Cancel takes
  // effect at the report that sees it.
  if (cancelled_ && exchangeRun_) {
    exchangeRun_->cancel();
  }
}

}  // namespace quorvel
