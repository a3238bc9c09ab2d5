#include "model/TQMIDIParser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace quorvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

void append(Bytes& out, std::initializer_list<std::uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

void appendBigEndian(Bytes& out, std::uint32_t value, int width) {
  for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) {
    out.push_back(static_cast<std::uint8_t>(value >> shift));
  }
}

Bytes tempoEvent(std::uint32_t microsecondsPerQuarter) {
  Bytes event{0x00, 0xFF, 0x51, 0x03};
  appendBigEndian(event, microsecondsPerQuarter, 3);
  return event;
}

Bytes keyEvent(int sf, bool minor) {
  return {0x00,
          0xFF,
          0x59,
          0x02,
          static_cast<std::uint8_t>(static_cast<std::int8_t>(sf)),
          static_cast<std::uint8_t>(minor ? 1 : 0)};
}

Bytes trackChunk(std::initializer_list<Bytes> events, bool endOfTrack = true) {
  Bytes body;
  for (const Bytes& event : events) {
    body.insert(body.end(), event.begin(), event.end());
  }
  if (endOfTrack) {
    append(body, {0x00, 0xFF, 0x2F, 0x00});
  }
  Bytes chunk{'M', 'T', 'r', 'k'};
  appendBigEndian(chunk, static_cast<std::uint32_t>(body.size()), 4);
  chunk.insert(chunk.end(), body.begin(), body.end());
  return chunk;
}

Bytes midiFile(std::uint16_t format, std::uint16_t announcedTracks, std::uint16_t division,
               std::initializer_list<Bytes> chunks) {
  Bytes file{'M', 'T', 'h', 'd', 0, 0, 0, 6};
  appendBigEndian(file, format, 2);
  appendBigEndian(file, announcedTracks, 2);
  appendBigEndian(file, division, 2);
  for (const Bytes& chunk : chunks) {
    file.insert(file.end(), chunk.begin(), chunk.end());
  }
  return file;
}

TEST(TQMIDIParserTest, FormatZeroTempoAndKey) {
  const Bytes file = midiFile(0, 1, 480, {trackChunk({tempoEvent(500000), keyEvent(2, false)})});
  auto parser = TQMIDIParser::initWithData(file);
  ASSERT_TRUE(parser);
  EXPECT_EQ(parser->format(), 0u);
  EXPECT_EQ(parser->timeFormat(), 0);
  EXPECT_EQ(parser->ticksPerBeat(), 480u);
  ASSERT_EQ(parser->tracks().size(), 1u);
  EXPECT_EQ(parser->tracks()[0].bpm(), 120u);
  EXPECT_EQ(parser->tracks()[0].key(), "D Major");

  // Through the shared-bytes overload the caller holds a chunk in.
  auto fromData = TQMIDIParser::initWithData(Data(file.data(), file.size()));
  ASSERT_TRUE(fromData);
  EXPECT_EQ(fromData->tracks().at(0).bpm(), 120u);
}

TEST(TQMIDIParserTest, KeySignatures) {
  struct Case {
    int sf;
    bool minor;
    const char* key;
  };
  const Case cases[] = {
      {0, false, "C Major"},     {0, true, "A Minor"},    {2, false, "D Major"},
      {2, true, "B Minor"},      {-3, false, "Eb Major"}, {-3, true, "C Minor"},
      {-1, false, "F Major"},    {7, false, "C# Major"},  {10, false, "A# Major"},
      {-10, false, "Ebb Major"}, {-7, true, "Ab Minor"},  {6, true, "D# Minor"},
  };
  for (const Case& c : cases) {
    auto track = TQMIDITrack::initWithData(trackChunk({keyEvent(c.sf, c.minor)}));
    ASSERT_TRUE(track) << c.sf;
    EXPECT_EQ(track->key(), c.key) << "sf " << c.sf << " minor " << c.minor;
  }
  // Any non-zero mode byte is minor.
  EXPECT_EQ(
      TQMIDITrack::initWithData(trackChunk({Bytes{0x00, 0xFF, 0x59, 0x02, 0x01, 0x7F}}))->key(),
      "E Minor");
  // Counts beyond ten set no key and leave an earlier one standing.
  for (int sf : {11, -11, 127, -128}) {
    EXPECT_FALSE(TQMIDITrack::initWithData(trackChunk({keyEvent(sf, false)}))->key()) << sf;
  }
  auto track = TQMIDITrack::initWithData(trackChunk({keyEvent(1, false), keyEvent(-11, false)}));
  EXPECT_EQ(track->key(), "G Major");
}

TEST(TQMIDIParserTest, LastTempoAndKeyWin) {
  auto track = TQMIDITrack::initWithData(trackChunk(
      {tempoEvent(500000), keyEvent(2, false), tempoEvent(666667), keyEvent(-3, false)}));
  ASSERT_TRUE(track);
  EXPECT_EQ(track->bpm(), 89u);  // integer division: 60000000 / 666667
  EXPECT_EQ(track->key(), "Eb Major");
  track = TQMIDITrack::initWithData(trackChunk({tempoEvent(500000), tempoEvent(666666)}));
  EXPECT_EQ(track->bpm(), 90u);

  // A zero tempo is ignored; the smallest and largest tempi stay in range.
  track = TQMIDITrack::initWithData(trackChunk({tempoEvent(500000), tempoEvent(0)}));
  EXPECT_EQ(track->bpm(), 120u);
  EXPECT_EQ(TQMIDITrack::initWithData(trackChunk({tempoEvent(1)}))->bpm(), 60000000u);
  EXPECT_EQ(TQMIDITrack::initWithData(trackChunk({tempoEvent(0xFFFFFF)}))->bpm(), 3u);
}

TEST(TQMIDIParserTest, EmptyTrackHasNoTempoOrKey) {
  auto track = TQMIDITrack::initWithData(trackChunk({}));
  ASSERT_TRUE(track);
  EXPECT_EQ(track->bpm(), 0u);
  EXPECT_FALSE(track->key());
  // A short meta event that cannot hold a tempo or key is skipped.
  track = TQMIDITrack::initWithData(
      trackChunk({Bytes{0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}, Bytes{0x00, 0xFF, 0x59, 0x01, 0x02},
                  keyEvent(1, true)}));
  EXPECT_EQ(track->bpm(), 0u);
  EXPECT_EQ(track->key(), "E Minor");
  EXPECT_FALSE(TQMIDITrack::initWithData(Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 0}));
  EXPECT_TRUE(TQMIDITrack::initWithData(Bytes{'M', 'T', 'r', 'k'}));
}

TEST(TQMIDIParserTest, ChannelEventsRunningStatusAndSystemExclusive) {
  // Note on with its status, two more note-ons under running status, a
  // program change (one data byte) and its running repeat, channel pressure,
  // a system exclusive message whose body holds bytes that look like a tempo
  // event, a multi-byte delta time, then the real tempo and key.
  const Bytes events{
      0x00, 0x90, 0x3C, 0x64,                          // note on
      0x60, 0x3E, 0x64,                                // running status
      0x60, 0x40, 0x64,                                // running status
      0x00, 0xC0, 0x05,                                // program change
      0x00, 0x06,                                      // running program change
      0x00, 0xD0, 0x10,                                // channel pressure
      0x00, 0xE0, 0x00, 0x40,                          // pitch bend
      0x00, 0xF0, 0x05, 0xFF, 0x51, 0x03, 0x00, 0x01,  // sysex
      0x00, 0xF7, 0x02, 0x43, 0xF7,                    // sysex continuation
      0x81, 0x80, 0x80, 0x00, 0x80, 0x3C, 0x00,        // four-byte delta, note off
      0x10, 0x3C, 0x00,                                // running note off
  };
  auto track =
      TQMIDITrack::initWithData(trackChunk({events, tempoEvent(400000), keyEvent(4, false)}));
  ASSERT_TRUE(track);
  EXPECT_EQ(track->bpm(), 150u);
  EXPECT_EQ(track->key(), "E Major");
}

TEST(TQMIDIParserTest, MultipleTracksFormatOneAndSMPTE) {
  // Format 1: the first track carries the tempo map, later ones notes; each
  // track keeps its own facts. An unknown chunk between tracks is skipped but
  // counts against the announced number.
  Bytes alien{'X', 'Y', 'Z', 'W', 0, 0, 0, 2, 0xAA, 0xBB};
  const Bytes file =
      midiFile(1, 4, 0xE728,  // SMPTE: -25 frames per second, 40 ticks per frame
               {trackChunk({tempoEvent(600000), keyEvent(-2, true)}), alien,
                trackChunk({Bytes{0x00, 0x90, 0x3C, 0x64}}), trackChunk({tempoEvent(1000000)})});
  auto parser = TQMIDIParser::initWithData(file);
  ASSERT_TRUE(parser);
  EXPECT_EQ(parser->format(), 1u);
  EXPECT_EQ(parser->trackCount(), 4u);
  EXPECT_EQ(parser->timeFormat(), 1);
  EXPECT_EQ(parser->framesPerSecond(), 25u);
  EXPECT_EQ(parser->ticksPerFrame(), 40u);
  EXPECT_EQ(parser->ticksPerBeat(), 0u);
  ASSERT_EQ(parser->tracks().size(), 3u);
  EXPECT_EQ(parser->tracks()[0].bpm(), 100u);
  EXPECT_EQ(parser->tracks()[0].key(), "G Minor");
  EXPECT_EQ(parser->tracks()[1].bpm(), 0u);
  EXPECT_FALSE(parser->tracks()[1].key());
  EXPECT_EQ(parser->tracks()[2].bpm(), 60u);

  // Only the announced number of chunks is read.
  auto oneTrack = TQMIDIParser::initWithData(
      midiFile(1, 1, 96, {trackChunk({tempoEvent(500000)}), trackChunk({tempoEvent(1000000)})}));
  ASSERT_EQ(oneTrack->tracks().size(), 1u);
}

TEST(TQMIDIParserTest, TruncatedFiles) {
  // Three tracks announced, two complete chunks and part of a third.
  Bytes third = trackChunk({tempoEvent(500000)});
  third.resize(third.size() - 3);
  auto parser = TQMIDIParser::initWithData(midiFile(
      1, 3, 96, {trackChunk({tempoEvent(500000)}), trackChunk({keyEvent(3, false)}), third}));
  ASSERT_TRUE(parser);
  ASSERT_EQ(parser->tracks().size(), 2u);
  EXPECT_EQ(parser->tracks()[1].key(), "A Major");

  // A chunk header cut inside its length field ends the walk too.
  Bytes cut = midiFile(0, 2, 96, {trackChunk({tempoEvent(500000)})});
  append(cut, {'M', 'T', 'r', 'k', 0x00});
  EXPECT_EQ(TQMIDIParser::initWithData(cut)->tracks().size(), 1u);

  // Events cut short inside one chunk: what came before stands.
  const Bytes cutEvents[] = {
      {0x00, 0xFF, 0x51, 0x03, 0x07},                    // tempo data missing
      {0x00, 0xFF, 0x51},                                // meta length missing
      {0x00, 0xFF},                                      // meta type missing
      {0x00, 0x90, 0x3C},                                // note on missing a data byte
      {0x00, 0xF0, 0x7F, 0x01},                          // sysex shorter than its length
      {0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F},  // length far past the end
      {0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F},
      {0x80, 0x80, 0x80},  // delta time that never ends
  };
  for (const Bytes& events : cutEvents) {
    auto track = TQMIDITrack::initWithData(trackChunk({keyEvent(1, false), events}, false));
    ASSERT_TRUE(track);
    EXPECT_EQ(track->key(), "G Major");
    EXPECT_EQ(track->bpm(), 0u);
  }
}

TEST(TQMIDIParserTest, RejectsAndToleratesMalformedHeaders) {
  EXPECT_FALSE(TQMIDIParser::initWithData(Bytes{}));
  EXPECT_FALSE(TQMIDIParser::initWithData(Bytes{'M', 'T', 'h', 'd', 0}));
  EXPECT_FALSE(TQMIDIParser::initWithData(Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1}));
  // A header cut short still parses, with the missing fields 0 and no tracks.
  auto shortHeader = TQMIDIParser::initWithData(Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0});
  ASSERT_TRUE(shortHeader);
  EXPECT_EQ(shortHeader->format(), 1u);
  EXPECT_EQ(shortHeader->trackCount(), 0u);
  EXPECT_TRUE(shortHeader->tracks().empty());
  // A huge announced count and chunk length cost nothing.
  Bytes huge = midiFile(1, 0xFFFF, 96, {});
  append(huge, {'M', 'T', 'r', 'k', 0xFF, 0xFF, 0xFF, 0xF0, 0x00, 0xFF, 0x51, 0x03});
  auto hugeParser = TQMIDIParser::initWithData(huge);
  ASSERT_TRUE(hugeParser);
  EXPECT_TRUE(hugeParser->tracks().empty());
  // A long run of bytes without any status is stepped over byte by byte.
  Bytes noise(100000, 0x05);
  auto track = TQMIDITrack::initWithData(trackChunk({noise, tempoEvent(500000)}));
  EXPECT_EQ(track->bpm(), 120u);
}

}  // namespace
}  // namespace quorvel
