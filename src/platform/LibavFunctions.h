#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

#include "support/Error.h"

namespace quorvel {

// The libavformat, libavcodec and libavutil functions the audio file services
// call. The libraries and the hundred others they pull in take tens of
// milliseconds to load, and most libraries never hold a file that needs them
// (the common containers are read without them), so they are loaded on first
// use rather than at start-up. Struct layouts come from the headers the
// program was built with, and only the major version they name is loaded.
#define QUORVEL_LIBAV_FUNCTIONS(X) \
  X(avformat_alloc_context)        \
  X(avformat_open_input)           \
  X(avformat_find_stream_info)     \
  X(avformat_close_input)          \
  X(av_find_input_format)          \
  X(av_dict_set)                   \
  X(av_dict_get)                   \
  X(av_dict_free)                  \
  X(av_log_set_level)              \
  X(av_get_bits_per_sample)        \
  X(avcodec_get_name)              \
  X(avcodec_descriptor_get)

class LibavFunctions {
 public:
  // The functions, loaded once per process (logging silenced), or null when
  // the libraries cannot be loaded; then `error` says why, each time it is
  // asked. Thread: any.
  static const LibavFunctions* load(Error* error = nullptr);

#define QUORVEL_LIBAV_POINTER(name) decltype(&::name) name = nullptr;
  QUORVEL_LIBAV_FUNCTIONS(QUORVEL_LIBAV_POINTER)
#undef QUORVEL_LIBAV_POINTER
};

}  // namespace quorvel
