#include "exchange/ImportCountAlert.h"

#include "platform/UIHost.h"
#include "support/Localization.h"
#include "support/StringFormat.h"

namespace quorvel {

namespace {

std::string localized(const char* text) { return localizedString(text, ""); }

std::string formatted(const char* pattern, std::initializer_list<std::string> args) {
  return stringWithFormat(localized(pattern), args);
}

}  // namespace

std::optional<ImportCountAlert> ImportCountAlert::alertForCounts(std::size_t dictionaryCount,
                                                                 std::size_t recordCount) {
  const std::size_t d = dictionaryCount;
  const std::size_t r = recordCount;
  if (d == 0 || d == r) {
    return std::nullopt;
  }
  const std::string dText = std::to_string(d);
  const std::string rText = std::to_string(r);
  ImportCountAlert alert;
  alert.buttons_.push_back(localized("Cancel"));
  if (r == 0) {
    alert.heading_ = localized("Nothing selected");
    alert.text_ = formatted("Importing %d metadatas, but no files are selected.", {dText});
    return alert;
  }
  alert.heading_ = localized("Counts Do Not Match");
  if (r > d) {
    alert.buttons_.push_back(localized("Import To All Selected Files"));
    if (d == 1) {
      alert.buttons_.push_back(localized("Import To First Selected File"));
      alert.text_ = formatted(
          "Importing %d metadata, but there are %d files selected.  What would you like to do?",
          {dText, rText});
    } else {
      alert.buttons_.push_back(formatted("Import To First %d Selected Files", {dText}));
      alert.text_ = formatted(
          "Importing %d metadatas, but there are %d files selected.  What would you like to do?",
          {dText, rText});
    }
    return alert;
  }
  if (r == 1) {
    alert.buttons_.push_back(localized("Import Only 1 Metadata"));
    alert.text_ = formatted(
        "Importing %d metadatas, but only %d file is selected.  What would you like to do?",
        {dText, rText});
  } else {
    alert.buttons_.push_back(formatted("Import Only First %d Metadatas", {rText}));
    alert.text_ = formatted(
        "Importing %d metadatas, but only %d files are selected.  What would you like to do?",
        {dText, rText});
  }
  return alert;
}

std::optional<bool> ImportCountAlert::applyToAllForCounts(std::size_t dictionaryCount,
                                                          std::size_t recordCount, UIHost& host) {
  if (dictionaryCount == 0) {
    return std::nullopt;
  }
  auto alert = alertForCounts(dictionaryCount, recordCount);
  if (!alert) {
    return true;
  }
  return alert->run(host);
}

std::optional<bool> ImportCountAlert::applyToAllForReturnCode(int returnCode) const {
  const int index = returnCode - 1000;
  if (index <= 0 || static_cast<std::size_t>(index) >= buttons_.size()) {
    return std::nullopt;
  }
  return index == 1;
}

std::optional<bool> ImportCountAlert::run(UIHost& host) const {
  return applyToAllForReturnCode(host.runAlert(heading_, text_, buttons_));
}

}  // namespace quorvel
