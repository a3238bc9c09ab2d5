#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "cli/Commands.h"
#include "cli/RecordJson.h"
#include "document/FileWalker.h"
#include "model/AlbumArtwork.h"
#include "model/AudioFileReader.h"
#include "model/AudioMetadata.h"

namespace quorvel::cli {

namespace fs = std::filesystem;

std::vector<std::string> expandPaths(const std::vector<std::string>& arguments) {
  std::vector<std::string> paths;
  for (const std::string& argument : arguments) {
    std::error_code ec;
    std::string absolute = fs::absolute(argument, ec).lexically_normal().string();
    if (ec) {
      absolute = argument;
    }
    if (fs::is_directory(absolute, ec)) {
      FileWalker::walkFolder(absolute, [&](const std::string& path) {
        paths.push_back(path);
        return true;
      });
    } else {
      // A file named on the command line is read whatever its extension.
      paths.push_back(absolute);
    }
  }
  return paths;
}

namespace {

// What became of one file, rendered on the thread that read it. The record
// itself is freed there too (freeing it on the writing thread would contend
// with the readers for their allocator); its covers stay with the text: see
// `readInOrder` for why they live a little longer.
struct Outcome {
  std::vector<Data> covers;
  std::string text;
  bool failed = false;
};

using Renderer = std::function<std::string(const std::string& path, const AudioMetadata* record,
                                           const std::string& error)>;

// Reads `paths` on `jobs` threads (this one among them), renders each outcome
// where it was read, and hands them to `emit` in the order of `paths`, as
// soon as each and all before it are done. There is no writing thread: the
// reader that completes the next outcome due writes it, and any after it
// that are ready, while the others go on reading; nobody waits for anybody
// unless the readers get too far ahead. They stay at most a few dozen files
// ahead of the one emitted next, so memory holds only that many rendered
// records however slow one file is.
//
// A reader takes the files of one folder together (up to kRun of them): the
// tracks of an album share a cover, and a reader meeting a new cover hashes
// it while any other reader that meets it at the same moment waits for the
// digest. Kept to one reader, an album's cover is hashed without anyone
// waiting, and the other reader is busy with another folder meanwhile.
void readInOrder(const std::vector<std::string>& paths, unsigned jobs, const Renderer& render,
                 const std::function<void(const std::string&, Outcome&)>& emit) {
  std::vector<std::optional<Outcome>> outcomes(paths.size());
  std::mutex mutex;
  std::condition_variable room;  // the window moved on
  std::size_t nextToRead = 0;
  std::size_t emitted = 0;
  bool emitting = false;  // a reader is writing outcomes out
  constexpr std::size_t kRun = 16;
  const std::size_t window = 2 * kRun * static_cast<std::size_t>(jobs);
  auto folderOf = [&](std::size_t i) {
    const std::string& path = paths[i];
    return std::string_view(path).substr(0, path.find_last_of('/') + 1);
  };

  // The covers of the outcome emitted last stay alive until the next one is
  // emitted. The artwork cache holds a picture only while someone does, and
  // the tracks of an album follow each other sharing one cover: kept alive,
  // the cover is recognised by its bytes instead of being hashed again for
  // every track. Only the emitting reader touches it.
  Outcome previous;

  auto readOne = [&](std::size_t index) {
    Error error;
    Outcome outcome;
    auto record = AudioFileReader::metadataFromFile(paths[index], &error);
    outcome.failed = !record;
    const std::string message = error.localizedDescription.empty() ? std::string("cannot read file")
                                                                   : error.localizedDescription;
    outcome.text = render(paths[index], record.get(), message);
    if (record) {
      for (const auto& artwork : record->artworks()) {
        outcome.covers.push_back(artwork->data());
      }
    }
    return outcome;
  };
  auto reader = [&] {
    std::unique_lock lock(mutex);
    for (;;) {
      room.wait(lock, [&] { return nextToRead >= paths.size() || nextToRead < emitted + window; });
      if (nextToRead >= paths.size()) {
        return;
      }
      const std::size_t first = nextToRead;
      std::size_t end = first + 1;
      while (end < paths.size() && end - first < kRun && folderOf(end) == folderOf(first)) {
        ++end;
      }
      nextToRead = end;
      for (std::size_t index = first; index < end; ++index) {
        lock.unlock();
        Outcome outcome = readOne(index);
        lock.lock();
        outcomes[index] = std::move(outcome);
        if (emitting) {
          continue;  // the reader writing out will come to it
        }
        emitting = true;
        while (emitted < paths.size() && outcomes[emitted]) {
          const std::size_t i = emitted++;
          Outcome ready = std::move(*outcomes[i]);
          outcomes[i].reset();
          room.notify_all();
          lock.unlock();
          emit(paths[i], ready);
          previous = std::move(ready);
          lock.lock();
        }
        emitting = false;
      }
    }
  };

  std::vector<std::jthread> helpers;
  for (unsigned i = 1; i < jobs; ++i) {
    helpers.emplace_back(reader);
  }
  reader();
}

// One element of the output array, indented by one level.
std::string jsonElement(const std::string& path, const AudioMetadata* record,
                        const std::string& error) {
  JsonWriter out(1);
  if (record) {
    writeRecordJson(out, *record);
  } else {
    writeErrorJson(out, path, error);
  }
  return "  " + out.take();
}

}  // namespace

int readCommand(CommandContext& context) {
  bool json = false;
  unsigned jobs = 1;
  std::vector<std::string> arguments;
  for (std::size_t i = 0; i < context.args.size(); ++i) {
    const std::string& arg = context.args[i];
    if (arg == "--json") {
      json = true;
    } else if (arg == "-j" || arg.starts_with("-j")) {
      std::string value =
          arg == "-j" ? (i + 1 < context.args.size() ? context.args[++i] : "") : arg.substr(2);
      char* end = nullptr;
      long n = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || n < 1 || n > 256) {
        return usageError(context, "read", "-j needs a number of threads from 1 to 256");
      }
      jobs = static_cast<unsigned>(n);
    } else if (arg == "--") {
      arguments.insert(arguments.end(), context.args.begin() + static_cast<long>(i) + 1,
                       context.args.end());
      break;
    } else if (arg.starts_with("-") && arg.size() > 1) {
      return usageError(context, "read", "unknown option " + arg);
    } else {
      arguments.push_back(arg);
    }
  }
  if (arguments.empty()) {
    return usageError(context, "read", "no file or folder given");
  }

  const std::vector<std::string> paths = expandPaths(arguments);
  bool failed = false;
  bool first = true;
  if (json) {
    context.out << "[";
  }
  const Renderer render = [json](const std::string& path, const AudioMetadata* record,
                                 const std::string& error) {
    if (json) {
      return jsonElement(path, record, error);
    }
    return record ? recordToText(*record) : error;
  };
  readInOrder(paths, jobs, render, [&](const std::string& path, Outcome& outcome) {
    if (outcome.failed) {
      failed = true;
    }
    if (json) {
      context.out << (first ? "\n" : ",\n") << outcome.text;
    } else if (!outcome.failed) {
      context.out << (first ? "" : "\n") << outcome.text;
    } else {
      context.err << "quorvel-cli: " << path << ": " << outcome.text << "\n";
    }
    first = false;
  });
  if (json) {
    context.out << (first ? "]\n" : "\n]\n");
  }
  return failed ? 1 : 0;
}

}  // namespace quorvel::cli
