#include "exchange/AudioMetadataImporter.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <thread>
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
  const unsigned workers =
      parallel_ && steps >= kParallelSteps ? std::min(2u, std::thread::hardware_concurrency()) : 1;
  // On several threads a dictionary is only taken over when no other step
  // reads it (each is used once); one thread may take over each one's last use.
  const bool consumeOnce = workers > 1 ? d >= steps : true;

  auto importStep = [&](std::size_t i) {
    AudioMetadata* record = metadatas[i].get();
    if (!record) {
      return false;
    }
    const std::size_t index = applyToAll ? i % d : i;
    const PlistDict& dictionary = dictionaries[index];
    if (owned) {
      if (consumeOnce && i + d >= steps) {
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
    return true;
  };

  // Steps are taken in blocks in increasing order and every block taken is
  // finished, so a cancelled import has always imported a leading run of the
  // records, however many threads worked on it.
  constexpr std::size_t kBlock = 64;
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> imported{0};
  std::atomic<bool> stop{false};
  auto work = [&](bool reports) {
    std::size_t done = 0;
    for (;;) {
      if (reports && throttle_.shouldReport()) {
        const std::size_t i = std::min(next.load(), steps);
        if (delegate_) {
          delegate_->importProgressDidUpdateWithPercentComplete(
              static_cast<double>(i) / static_cast<double>(steps) * 100.0, i, r);
        }
        if (cancelled()) {
          stop = true;
        }
      }
      if (stop) {
        break;
      }
      const std::size_t first = next.fetch_add(kBlock);
      if (first >= steps) {
        break;
      }
      const std::size_t last = std::min(first + kBlock, steps);
      for (std::size_t i = first; i < last; ++i) {
        done += importStep(i) ? 1 : 0;
      }
    }
    imported += done;
  };
  if (workers <= 1) {
    work(true);
    return imported;
  }
  std::exception_ptr failure;
  {
    std::jthread helper([&] {
      try {
        work(false);
      } catch (...) {
        failure = std::current_exception();
        stop = true;
      }
    });
    try {
      work(true);
    } catch (...) {
      stop = true;
      throw;
    }
  }
  if (failure) {
    std::rethrow_exception(failure);
  }
  return imported;
}

std::size_t AudioMetadataImporter::importMetadataInUndoGroup(
    std::vector<PlistDict> dictionaries, const std::vector<AudioMetadataPtr>& metadatas,
    bool applyToAll, ZRUndoManager* undoManager, const std::function<void()>& saveAfterChange) {
  if (undoManager) {
    undoManager->beginUndoGrouping();
  }
  // With the group open, the records' registrations only append to it, which
  // several workers may do; records tied to another manager keep it serial.
  parallel_ = std::all_of(metadatas.begin(), metadatas.end(), [&](const AudioMetadataPtr& m) {
    return !m || !m->undoManager() || m->undoManager().get() == undoManager;
  });
  std::size_t imported = 0;
  try {
    imported = importMetadataFromDictionaries(std::move(dictionaries), metadatas, applyToAll);
  } catch (...) {
    parallel_ = false;
    if (undoManager) {
      undoManager->endUndoGrouping();
    }
    throw;
  }
  parallel_ = false;
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
