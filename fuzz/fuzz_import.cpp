// Metadata files to import come from anywhere: other programs, hand edits,
// damaged disks. Both readers must turn any bytes into dictionaries or
// nothing, without crashing; the CSV reader's dictionaries hold only texts
// and lists of texts; and importing whatever was read into a record, inside
// an undo group, must undo back to the record as it was.
//
// Run: fuzz_import -max_len=16384 fuzz/corpus/import

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "exchange/AudioMetadataCSVImporter.h"
#include "exchange/AudioMetadataImporter.h"
#include "exchange/AudioMetadataXMLImporter.h"
#include "model/AudioMetadata.h"
#include "platform/ZRUndoManager.h"

namespace {

using namespace quorvel;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

void checkCSVShape(const std::vector<PlistDict>& dictionaries) {
  if (dictionaries.empty()) {
    fail("a list of no dictionaries instead of nothing");
  }
  for (const PlistDict& dictionary : dictionaries) {
    if (dictionary.empty()) {
      fail("an empty dictionary was kept");
    }
    for (const auto& [key, value] : dictionary) {
      if (key.empty()) {
        fail("a column without a name became a key");
      }
      if (const auto* text = value.get<std::string>()) {
        if (text->empty()) {
          fail("an empty cell became a value");
        }
        continue;
      }
      const auto* list = value.get<PlistArray>();
      if (!list) {
        fail("a CSV value that is neither text nor a list");
      }
      for (const PlistValue& element : *list) {
        const auto* text = element.get<std::string>();
        if (!text || text->empty()) {
          fail("a list element that is not a non-empty text");
        }
      }
    }
  }
}

void importAndUndo(const std::vector<PlistDict>& dictionaries) {
  auto manager = std::make_shared<ZRUndoManager>();
  auto first = std::make_shared<AudioMetadata>();
  auto second = std::make_shared<AudioMetadata>();
  first->setMetadataObjectValue(Object("Before"), "TRACKTITLE");
  second->setMetadataObjectValues({Object("A"), Object("B")}, "GENRE");
  for (const auto& record : {first, second}) {
    record->takeOriginalDigest();
    record->setUndoManager(manager);
  }
  const std::string before1 = first->calculateMD5();
  const std::string before2 = second->calculateMD5();

  AudioMetadataImporter importer;
  importer.importMetadataInUndoGroup(dictionaries, {first, second}, true, manager.get());
  if (first->currentMetadataMD5() != first->calculateMD5()) {
    fail("the digest does not follow the import");
  }
  if (manager->canUndo()) {
    manager->undo();
  }
  if (first->calculateMD5() != before1 || second->calculateMD5() != before2) {
    fail("undo does not restore the records");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const Data data(bytes, size);
  if (auto dictionaries = AudioMetadataCSVImporter::metadataArrayFromData(data)) {
    checkCSVShape(*dictionaries);
    importAndUndo(*dictionaries);
  }
  if (auto dictionaries = AudioMetadataXMLImporter::metadataArrayFromData(data)) {
    if (dictionaries->empty()) {
      fail("a list of no dictionaries instead of nothing");
    }
    importAndUndo(*dictionaries);
  }
  return 0;
}
