#pragma once

#include <stdexcept>
#include <string>

namespace quorvel {

// The application's identifier; error domains and pasteboard types derive from it.
inline constexpr const char* kApplicationIdentifier = "org.quorvel.Quorvel";
// Domain of the application's own errors.
inline constexpr const char* kQuorvelErrorDomain = "org.quorvel.Quorvel.ErrorDomain";

// A failure that crosses an API: functions return false and fill an optional Error*.
struct Error {
  std::string domain;
  int code = 0;
  std::string localizedDescription;
};

// Fills `error` when the caller asked for one; returns false so callers can
// write `return setError(error, ...);`.
inline bool setError(Error* error, std::string domain, int code, std::string description) {
  if (error) {
    *error = Error{std::move(domain), code, std::move(description)};
  }
  return false;
}

// A broken internal invariant. The message is the system's own text.
class InternalInconsistencyException : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

}  // namespace quorvel
