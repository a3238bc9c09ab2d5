#include "support/Localization.h"

namespace quorvel {

std::string localizedString(const std::string& text, const std::string& table) {
  // The English text is both the key and the fallback; with no translations
  // loaded the fallback is all there is.
  static_cast<void>(table);
  return text;
}

}  // namespace quorvel
