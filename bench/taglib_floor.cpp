// The floor for reading a library: what plain TagLib costs for the same
// files, with nothing of ours on top. For each audio file under the folders
// given: FileRef with average audio properties, the property map of all its
// tags, and the bytes of every embedded picture through each format's own
// picture API. Prints a checksum of what it read so none of it can be skipped.
//
// usage: taglib_floor FOLDER...

#include <taglib/aifffile.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::uint64_t id3v2Pictures(TagLib::ID3v2::Tag* tag) {
  std::uint64_t bytes = 0;
  if (!tag) return 0;
  for (TagLib::ID3v2::Frame* frame : tag->frameList("APIC")) {
    if (auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame)) {
      bytes += picture->picture().size();
    }
  }
  return bytes;
}

// The pictures of one file, by the API of its format.
std::uint64_t pictureBytes(TagLib::File* file) {
  std::uint64_t bytes = 0;
  if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
    bytes += id3v2Pictures(mpeg->ID3v2Tag());
  } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
    for (auto* picture : flac->pictureList()) bytes += picture->data().size();
    if (flac->xiphComment()) {
      for (auto* picture : flac->xiphComment()->pictureList()) bytes += picture->data().size();
    }
  } else if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
    for (auto* picture : vorbis->tag()->pictureList()) bytes += picture->data().size();
  } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
    if (mp4->tag() && mp4->tag()->contains("covr")) {
      for (const auto& cover : mp4->tag()->item("covr").toCoverArtList()) {
        bytes += cover.data().size();
      }
    }
  } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file)) {
    for (const auto& attribute : asf->tag()->attribute("WM/Picture")) {
      bytes += attribute.toPicture().picture().size();
    }
  } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
    bytes += id3v2Pictures(wav->ID3v2Tag());
  } else if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
    bytes += id3v2Pictures(aiff->tag());
  }
  return bytes;
}

bool isAudio(const fs::path& path) {
  static const std::vector<std::string> extensions = {".mp3", ".flac", ".m4a", ".ogg",
                                                      ".wav", ".aiff", ".wma"};
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return std::find(extensions.begin(), extensions.end(), ext) != extensions.end();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: taglib_floor FOLDER...\n");
    return 2;
  }
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    for (const auto& entry : fs::recursive_directory_iterator(argv[i])) {
      if (entry.is_regular_file() && isAudio(entry.path())) files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());

  std::uint64_t checksum = 0;
  std::size_t read = 0;
  for (const auto& path : files) {
    TagLib::FileRef ref(path.c_str(), true, TagLib::AudioProperties::Average);
    if (ref.isNull()) continue;
    ++read;
    if (auto* properties = ref.audioProperties()) {
      checksum += static_cast<std::uint64_t>(properties->lengthInSeconds() + properties->bitrate() +
                                             properties->sampleRate() + properties->channels());
    }
    const TagLib::PropertyMap map = ref.file()->properties();
    for (const auto& [key, values] : map) {
      checksum += key.size();
      for (const auto& value : values) checksum += value.size();
    }
    checksum += pictureBytes(ref.file());
  }
  std::printf("%zu of %zu files read, checksum %llu\n", read, files.size(),
              static_cast<unsigned long long>(checksum));
  return 0;
}
