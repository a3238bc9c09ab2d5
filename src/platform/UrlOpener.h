#pragma once

#include <functional>
#include <string>

#include "support/Error.h"

namespace quorvel {

// Hands a URL (web page, mailto: message) to the desktop's handler for it.
class UrlOpener {
 public:
  using Handler = std::function<bool(const std::string& url, Error* error)>;

  // Opens `url` through the installed handler; by default `xdg-open`, started
  // in the background and not waited for. Returns false and fills `error`
  // when the handler cannot be started (xdg-open missing, empty URL). Whether
  // the desktop then shows something is not known here. Any thread.
  static bool openURL(const std::string& url, Error* error = nullptr);

  // Replaces how URLs are opened (tests record them instead); an empty
  // handler restores xdg-open. Returns the previous handler (empty for the
  // default). Any thread.
  static Handler setHandler(Handler handler);
};

}  // namespace quorvel
