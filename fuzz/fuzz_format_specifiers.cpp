// Format strings are typed by users and stored in settings; values come from
// the tags of any file. Expansion must end (values are never expanded again),
// keep valid UTF-8, leave text without groups alone and honour file-name mode.
// The bracket operations must stay inside their ranges.
//
// Input: one byte of options, then the format, a NUL, and the value that
// every key reads.
//
// Run: fuzz_format_specifiers -max_len=4096 fuzz/corpus/format_specifiers

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "functions/FormatSpecifiers.h"
#include "model/AudioMetadata.h"
#include "support/Value.h"

#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quorvel;
  if (size == 0) {
    return 0;
  }
  const std::uint8_t flags = bytes[0];
  const std::string_view rest(reinterpret_cast<const char*>(bytes + 1), size - 1);
  const std::size_t split = rest.find('\0');
  const std::string_view format = rest.substr(0, split);
  const std::string value(split == std::string_view::npos ? std::string_view()
                                                          : rest.substr(split + 1));

  FormatExpansionOptions options;
  options.twoDigitTrackNumbers = (flags & 1) != 0;
  options.twoDigitDiscNumbers = (flags & 2) != 0;
  options.filenameWhenTitleIsMissing = (flags & 4) != 0;
  options.fallbackWords = (flags & 8) != 0;
  options.filenameMode = (flags & 16) != 0;
  if (flags & 32) {
    options.replacement = "_";
  }
  const bool emptyTitle = (flags & 64) != 0;

  const std::string result = expandFormatSpecifiers(
      format,
      [&](const std::string& key) {
        return emptyTitle && key == "TRACKTITLE" ? std::string() : value;
      },
      options);
  if (isValidUtf8(format) && isValidUtf8(value)) {
    check(isValidUtf8(result), "expansion made invalid UTF-8");
    if (!format.empty() && format.find('{') == std::string_view::npos) {
      check(result == format, "text without groups changed");
    }
    if (options.filenameMode && format.find('/') == std::string_view::npos) {
      check(result.find('/') == std::string::npos, "a value brought a folder separator");
    }
  }

  // The same against a record whose location and tags are the value.
  if (flags & 128) {
    auto record = std::make_shared<AudioMetadata>();
    record->setSourceLocation(value);
    record->setMetadataObjectValue(Object(value), "ALBUM");
    record->setMetadataObjectValue(Object(value), "TRACKNUMBER");
    record->setSourceFileSize(Number(static_cast<std::int64_t>(value.size()) * 1000003));
    record->setSourceLength(static_cast<double>(value.size()) * 61.5);
    const std::string fromRecord = expandFormatSpecifiers(format, *record, options);
    if (isValidUtf8(format) && isValidUtf8(value)) {
      check(isValidUtf8(fromRecord), "expansion against a record made invalid UTF-8");
    }
  }

  // The bracket operations on the same text, in the range of the next group.
  FormatSpecifiers text(format);
  const TextRange group = text.rangeOfDeepestBracketContainingAnyFormatSpecifier();
  if (group.found()) {
    check(group.end() <= text.utf16().size() && text.utf16()[group.location] == u'{' &&
              text.utf16()[group.end() - 1] == u'}',
          "group range does not span a group");
    const std::size_t before = text.utf16().size();
    FormatSpecifiers copy = text;
    copy.removeFormatSpecifier(value, group);
    check(copy.utf16().size() <= before, "removal grew the text");
    text.replaceFormatSpecifier(value, format, group);
  }
  const TextRange inArray =
      text.rangeOfDeepestBracketContainingAnyFormatSpecifierInArray({value, "ALBUM"});
  check(!inArray.found() || inArray.end() <= text.utf16().size(), "range past the end");
  return 0;
}
