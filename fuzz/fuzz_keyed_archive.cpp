// Keyed archives of artwork arrive inside imported XML files and on the
// clipboard, so they may be damaged or hostile. Decoding must fail cleanly
// with a reason, and whatever decodes must archive and decode again to the
// same record.
//
// Run: fuzz_keyed_archive -max_len=65536 fuzz/corpus/keyed_archive

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "model/AlbumArtwork.h"
#include "platform/KeyedArchive.h"

#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quorvel;
  const Data input(bytes, size);
  Error error;
  auto object = KeyedArchive::unarchive(input, "AlbumArtwork", &error);
  if (!object) {
    check(!error.localizedDescription.empty(), "unarchive failed without a reason");
  } else {
    auto again = KeyedArchive::unarchive(KeyedArchive::archive(*object), "AlbumArtwork", &error);
    check(again && again->fields == object->fields, "a decoded object does not round-trip");
  }

  error = {};
  auto artwork = AlbumArtwork::fromArchivedData(input, &error);
  if (!artwork) {
    check(!error.localizedDescription.empty(), "artwork decoding failed without a reason");
    return 0;
  }
  auto copy = AlbumArtwork::fromArchivedData(artwork->archivedData(), &error);
  check(copy && copy->md5() == artwork->md5() && copy->artworkType() == artwork->artworkType() &&
            copy->comments() == artwork->comments() &&
            copy->originalFilename() == artwork->originalFilename() &&
            copy->data().isSameObject(artwork->data()),
        "a decoded artwork does not round-trip");
  return 0;
}
