#include "exchange/AudioMetadataImporter.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "exchange/AudioMetadataCSVImporter.h"
#include "exchange/AudioMetadataXMLImporter.h"
#include "platform/UserDefaults.h"
#include "platform/ZRUndoManager.h"
#include "support/Localization.h"
#include "support/Text.h"

namespace quorvel {

const std::vector<std::string>& AudioMetadataImporter::fileInfoKeys() {
  static const std::vector<std::string> keys = {"File Name", "File Path",   "File Size",
                                                "File Kind", "File Format", "Track Length"};
  return keys;
}

std::optional<std::vector<PlistDict>> AudioMetadataImporter::arrayOfMetadataDictionariesFromURL(
    const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  if (!extension.empty()) {
    extension.erase(0, 1);
  }
  extension = asciiUppercase(extension);
  if (extension == "CSV") {
    return AudioMetadataCSVImporter::metadataArrayFromURL(path);
  }
  if (extension == "XML") {
    return AudioMetadataXMLImporter::metadataArrayFromURL(path);
  }
  return std::nullopt;
}

namespace {

bool holdsFileInfo(const PlistDict& dictionary) {
  return std::any_of(AudioMetadataImporter::fileInfoKeys().begin(),
                     AudioMetadataImporter::fileInfoKeys().end(),
                     [&](const std::string& key) { return dictionary.count(key) != 0; });
}

}  // namespace

std::size_t AudioMetadataImporter::importMetadataFromDictionaries(
    const std::vector<PlistDict>& dictionaries, const std::vector<AudioMetadataPtr>& metadatas,
    bool applyToAll) {
  return run(dictionaries, nullptr, metadatas, applyToAll);
}

std::size_t AudioMetadataImporter::importMetadataFromDictionaries(
    std::vector<PlistDict>&& dictionaries, const std::vector<AudioMetadataPtr>& metadatas,
    bool applyToAll) {
  for (PlistDict& dictionary : dictionaries) {
    for (const std::string& key : fileInfoKeys()) {
      dictionary.erase(key);
    }
  }
  return run(dictionaries, &dictionaries, metadatas, applyToAll);
}

std::size_t AudioMetadataImporter::run(const std::vector<PlistDict>& dictionaries,
                                       std::vector<PlistDict>* owned,
                                       const std::vector<AudioMetadataPtr>& metadatas,
                                       bool applyToAll) {
  setCancelled(false);
  throttle_.reset();
  const std::size_t d = dictionaries.size();
  const std::size_t r = metadatas.size();
  if (d == 0) {
    return 0;
  }
  // Without the flag there are D steps; more than R would have no record.
  const std::size_t steps = applyToAll ? r : std::min(d, r);
  std::size_t imported = 0;
  for (std::size_t i = 0; i < steps; ++i) {
    if (throttle_.shouldReport()) {
      if (delegate_) {
        delegate_->importProgressDidUpdateWithPercentComplete(
            static_cast<double>(i) / static_cast<double>(steps) * 100.0, i, r);
      }
      if (cancelled()) {
        break;
      }
    }
    AudioMetadata* record = metadatas[i].get();
    if (!record) {
      continue;
    }
    const std::size_t index = applyToAll ? i % d : i;
    const PlistDict& dictionary = dictionaries[index];
    if (owned) {
      // A dictionary's last use may take its values instead of copying them.
      if (i + d >= steps) {
        record->importMetadataFromDictionary(std::move((*owned)[index]));
      } else {
        record->importMetadataFromDictionary(dictionary);
      }
    } else if (holdsFileInfo(dictionary)) {
      PlistDict copy = dictionary;
      for (const std::string& key : fileInfoKeys()) {
        copy.erase(key);
      }
      record->importMetadataFromDictionary(std::move(copy));
    } else {
      record->importMetadataFromDictionary(dictionary);
    }
    ++imported;
  }
  return imported;
}

std::size_t AudioMetadataImporter::importMetadataInUndoGroup(
    std::vector<PlistDict> dictionaries, const std::vector<AudioMetadataPtr>& metadatas,
    bool applyToAll, ZRUndoManager* undoManager, const std::function<void()>& saveAfterChange) {
  if (undoManager) {
    undoManager->beginUndoGrouping();
  }
  std::size_t imported = 0;
  try {
    imported = importMetadataFromDictionaries(std::move(dictionaries), metadatas, applyToAll);
  } catch (...) {
    if (undoManager) {
      undoManager->endUndoGrouping();
    }
    throw;
  }
  if (undoManager) {
    // Named while open: once closed, an empty group is gone and the name
    // would land on the action before it.
    undoManager->setActionName(localizedString("Import Metadata", ""));
    undoManager->endUndoGrouping();
  }
  if (saveAfterChange && UserDefaults::standard().boolForKey("saveAfterChange")) {
    saveAfterChange();
  }
  return imported;
}

}  // namespace quorvel
