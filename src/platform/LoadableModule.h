#pragma once

#include <string>
#include <vector>

namespace quorvel {

// Shared objects of our own that the program loads when first needed, so that
// the heavy libraries behind them cost nothing to the runs that never use
// them. A module exports one function, returning its table of entry points.
//
// Modules are looked for in the folder named by the QUORVEL_MODULE_DIR
// environment variable, then beside the running program, then in the build
// tree the program came from, then in the installed module folder.
class LoadableModule {
 public:
  template <typename Entries>
  struct Result {
    const Entries* entries = nullptr;  // null when the module cannot be loaded
    std::string failure;               // why not, for an error message
  };

  // Loads `fileName` and calls its `entryPoint` (a function without
  // arguments returning `const Entries*`). The module stays loaded for the
  // life of the process. Callers keep the result (loading again loads
  // nothing new but searches again). Thread: any.
  template <typename Entries>
  static Result<Entries> load(const std::string& fileName, const char* entryPoint) {
    Result<Entries> result;
    using Entry = const Entries* (*)();
    if (void* symbol = loadSymbol(fileName, entryPoint, result.failure)) {
      result.entries = reinterpret_cast<Entry>(symbol)();
      if (!result.entries) {
        result.failure = fileName + " has nothing to offer";
      }
    }
    return result;
  }

  // The folders searched, in order. Thread: any.
  static std::vector<std::string> searchPath();

 private:
  static void* loadSymbol(const std::string& fileName, const char* entryPoint,
                          std::string& failure);
};

}  // namespace quorvel
