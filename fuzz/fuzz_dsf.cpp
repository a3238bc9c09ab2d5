// DSF files are parsed by our own TagLib::File subclass and rewritten in
// place. Any bytes must open without a crash or a huge allocation; a file
// that opens as valid must take a new tag, read it back, and lose it again
// on strip, staying valid throughout.
//
// Run: fuzz_dsf -max_len=65536 fuzz/corpus/dsf

#include <taglib/id3v2frame.h>
#include <taglib/id3v2tag.h>
#include <taglib/tbytevectorstream.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "model/DSFFile.h"

#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quorvel;
  TagLib::ByteVector data(reinterpret_cast<const char*>(bytes), static_cast<unsigned>(size));
  TagLib::ByteVectorStream stream(data);
  {
    DSFFile file(&stream);
    if (!file.isValid()) {
      check(!file.save(), "an invalid file was saved");
      check(*stream.data() == data, "an invalid file was changed");
      return 0;
    }
    if (const DSFProperties* p = file.audioProperties()) {
      (void)p->lengthInMilliseconds();
      (void)p->bitrate();
    }
    (void)file.tag()->title();
    (void)file.tag()->frameList().size();
    // As the writer does: empty the tag, then fill it. (Editing a parsed
    // frame in place keeps its flags, and an "encrypted" frame then does
    // not read back; that is TagLib's business, not the container's.)
    TagLib::ID3v2::Tag* tag = file.tag();
    std::vector<TagLib::ByteVector> ids;
    for (const auto* frame : tag->frameList()) ids.push_back(frame->frameID());
    for (const auto& id : ids) tag->removeFrames(id);
    tag->setTitle("fuzz title");
    check(file.save(), "saving a valid file failed");
  }
  {
    DSFFile file(&stream);
    check(file.isValid(), "a saved file is not valid");
    check(file.hasID3v2Tag(), "the saved tag is missing");
    check(file.tag()->title() == "fuzz title", "the saved title did not read back");
    check(file.strip(), "strip failed");
  }
  DSFFile file(&stream);
  check(file.isValid(), "a stripped file is not valid");
  check(!file.hasID3v2Tag(), "strip left a tag");
  return 0;
}
