#pragma once

#include <taglib/id3v2framefactory.h>

namespace quorvel {

namespace detail {
// TagLib keeps the frame header type protected inside Frame; a class derived
// from Frame may name it, and the alias makes it usable for the override below.
struct ID3v2FrameHeaderAccess : TagLib::ID3v2::Frame {
  using HeaderType = TagLib::ID3v2::Frame::Header;
};
}  // namespace detail

// TagLib rewrites some frames as it parses them, but they must be read as
// stored: TCON ("(17)" becomes "17") and TXXX (empty fields are dropped, so
// an empty description takes the first value's place). This factory keeps
// those frames as unknown frames under private ids so the reader sees their
// raw fields; everything else is parsed as usual. Only for reading: files
// opened with it must not be saved.
class ID3v2ReadingFrameFactory final : public TagLib::ID3v2::FrameFactory {
 public:
  // The id under which a TCON frame arrives.
  static constexpr const char* kRawGenreFrameId = "XTCN";
  // The id under which a TXXX frame arrives.
  static constexpr const char* kRawUserTextFrameId = "XTXX";

  static ID3v2ReadingFrameFactory* instance();

 protected:
  bool updateFrame(detail::ID3v2FrameHeaderAccess::HeaderType* header) const override;
};

}  // namespace quorvel
