#include "platform/UrlOpener.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

extern char** environ;

namespace quorvel {

namespace {

std::mutex& handlerMutex() {
  static std::mutex mutex;
  return mutex;
}

UrlOpener::Handler& installedHandler() {
  static UrlOpener::Handler handler;
  return handler;
}

// The platform's code for "the file couldn't be opened".
constexpr int kFileReadUnknownError = 256;

bool openWithXdgOpen(const std::string& url, Error* error) {
  // A short-lived shell starts xdg-open in the background and exits, so the
  // mail client or browser it starts is never our child and never a zombie,
  // and the URL reaches it as one argument, never as shell text.
  static const char kScript[] =
      "command -v xdg-open >/dev/null 2>&1 || exit 127\n"
      "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &\n";
  std::vector<char*> argv{const_cast<char*>("sh"),        const_cast<char*>("-c"),
                          const_cast<char*>(kScript),     const_cast<char*>("sh"),
                          const_cast<char*>(url.c_str()), nullptr};
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ);
  if (spawned != 0) {
    return setError(error, kQuorvelErrorDomain, kFileReadUnknownError,
                    std::string("The URL couldn't be opened: ") + std::strerror(spawned) + ".");
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      return setError(error, kQuorvelErrorDomain, kFileReadUnknownError,
                      "The URL couldn't be opened.");
    }
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
    return setError(error, kQuorvelErrorDomain, kFileReadUnknownError,
                    "The URL couldn't be opened because xdg-open is not installed.");
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return setError(error, kQuorvelErrorDomain, kFileReadUnknownError,
                    "The URL couldn't be opened.");
  }
  return true;
}

}  // namespace

bool UrlOpener::openURL(const std::string& url, Error* error) {
  if (url.empty()) {
    return setError(error, kQuorvelErrorDomain, kFileReadUnknownError,
                    "The URL couldn't be opened because it is empty.");
  }
  Handler handler;
  {
    std::lock_guard lock(handlerMutex());
    handler = installedHandler();
  }
  return handler ? handler(url, error) : openWithXdgOpen(url, error);
}

UrlOpener::Handler UrlOpener::setHandler(Handler handler) {
  std::lock_guard lock(handlerMutex());
  Handler previous = std::move(installedHandler());
  installedHandler() = std::move(handler);
  return previous;
}

}  // namespace quorvel
