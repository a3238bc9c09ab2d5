#include "model/ID3v2ReadingFrameFactory.h"

namespace quorvel {

ID3v2ReadingFrameFactory* ID3v2ReadingFrameFactory::instance() {
  static ID3v2ReadingFrameFactory factory;
  return &factory;
}

bool ID3v2ReadingFrameFactory::updateFrame(
    detail::ID3v2FrameHeaderAccess::HeaderType* header) const {
  bool ok = TagLib::ID3v2::FrameFactory::updateFrame(header);
  // Version 2.2 ids ("TCO") are converted by the base class first.
  if (ok && header->frameID() == "TCON") {
    header->setFrameID(kRawGenreFrameId);
  } else if (ok && header->frameID() == "TXXX") {
    header->setFrameID(kRawUserTextFrameId);
  }
  return ok;
}

}  // namespace quorvel
