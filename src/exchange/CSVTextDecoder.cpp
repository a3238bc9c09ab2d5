#include "exchange/CSVTextDecoder.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <array>
#include <cstdint>

#include "support/Value.h"

namespace quorvel {

struct CSVTextDecoder::Converter {
  UConverter* handle = nullptr;
  ~Converter() {
    if (handle) {
      ucnv_close(handle);
    }
  }
};

namespace {

struct Signature {
  std::array<unsigned char, 4> bytes;
  std::size_t length;
  const char* encoding;
};

// Checked in this order: the UTF-32 little-endian mark begins with the UTF-16
// one, so the longer marks go first.
constexpr std::array<Signature, 6> kSignatures = {{
    {{0x00, 0x00, 0xFE, 0xFF}, 4, kCSVEncodingUTF32BE},
    {{0xFF, 0xFE, 0x00, 0x00}, 4, kCSVEncodingUTF32LE},
    {{0x1B, 0x24, 0x29, 0x43}, 4, kCSVEncodingISO2022KR},
    {{0xFE, 0xFF}, 2, kCSVEncodingUTF16BE},
    {{0xFF, 0xFE}, 2, kCSVEncodingUTF16LE},
    {{0xEF, 0xBB, 0xBF}, 3, kCSVEncodingUTF8},
}};

}  // namespace

CSVTextDecoder::Detection CSVTextDecoder::detectEncoding(std::string_view firstBlock) {
  if (firstBlock.empty()) {
    return {kCSVEncodingUTF8, 0, false};
  }
  for (const Signature& signature : kSignatures) {
    if (firstBlock.size() < signature.length) {
      continue;
    }
    bool matches = true;
    for (std::size_t i = 0; i < signature.length; ++i) {
      matches = matches && static_cast<unsigned char>(firstBlock[i]) == signature.bytes[i];
    }
    if (matches) {
      return {signature.encoding, signature.length, false};
    }
  }
  // The block may end inside a multi-byte sequence, so up to three bytes at
  // its end are given the benefit of the doubt.
  for (std::size_t cut = 0; cut <= 3 && cut < firstBlock.size(); ++cut) {
    if (isValidUtf8(firstBlock.substr(0, firstBlock.size() - cut))) {
      return {kCSVEncodingUTF8, 0, false};
    }
  }
  return {kCSVEncodingMacOSRoman, 0, true};
}

CSVTextDecoder::CSVTextDecoder(const std::string& encoding)
    : converter_(std::make_unique<Converter>()) {
  UErrorCode status = U_ZERO_ERROR;
  converter_->handle = ucnv_open(encoding.c_str(), &status);
  if (U_FAILURE(status)) {
    converter_->handle = nullptr;
    return;
  }
  // Stop at the first undecodable sequence instead of substituting: such
  // input ends the text, as a decoder that rejects the whole block would.
  status = U_ZERO_ERROR;
  ucnv_setToUCallBack(converter_->handle, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                      &status);
}

CSVTextDecoder::~CSVTextDecoder() = default;

bool CSVTextDecoder::valid() const { return converter_->handle != nullptr; }

namespace {

// Runs the converter over `bytes` into `out`, growing `out` as needed.
bool convert(UConverter* converter, std::string_view bytes, bool flush, std::u16string& out) {
  const char* source = bytes.data();
  const char* sourceLimit = bytes.data() + bytes.size();
  for (;;) {
    const std::size_t oldSize = out.size();
    // Every encoding here yields at most one UTF-16 unit per byte, plus a
    // few for a sequence held over from the previous block.
    const std::size_t room = static_cast<std::size_t>(sourceLimit - source) + 8;
    out.resize(oldSize + room);
    UChar* target = out.data() + oldSize;
    UChar* const targetStart = target;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &target, targetStart + room, &source, sourceLimit, nullptr, flush,
                   &status);
    out.resize(oldSize + static_cast<std::size_t>(target - targetStart));
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      continue;
    }
    return U_SUCCESS(status);
  }
}

}  // namespace

bool CSVTextDecoder::decode(std::string_view bytes, std::u16string& out) {
  if (!valid() || failed_) {
    return false;
  }
  failed_ = !convert(converter_->handle, bytes, false, out);
  return !failed_;
}

bool CSVTextDecoder::finish(std::u16string& out) {
  if (!valid() || failed_) {
    return false;
  }
  failed_ = !convert(converter_->handle, {}, true, out);
  return !failed_;
}

}  // namespace quorvel
