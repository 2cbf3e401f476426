// Standard MIDI Files written by another program (abc2midi) load as an independent
// decoding, and as a second program (mftext) reads them; running status written
// into the same files changes nothing.
#include <gtest/gtest.h>

#include <sstream>

#include "MidiTestSupport.h"
#include "foundation/ScriptedPresenter.h"
#include "midi/TMFPlayer.h"

namespace {

struct TDecoded {
  int32_t format = 0;
  int32_t division = 0;
  std::vector<std::vector<TEventRecord>> tracks;  // tick, status, data1, data2
  std::vector<std::pair<int32_t, int32_t>> tempos;  // tick, microseconds
  int32_t songLength = 1;
  int32_t runningStatusEvents = 0;
};

// The decoding of the test: chunk by chunk, by each chunk's length.
TDecoded Decode(const TBytes& file) {
  TDecoded out;
  size_t at = 0;
  auto u32 = [&](size_t p) { return uint32_t(file.at(p)) << 24 | uint32_t(file.at(p + 1)) << 16 | uint32_t(file.at(p + 2)) << 8 | file.at(p + 3); };
  auto u16 = [&](size_t p) { return int32_t(file.at(p)) << 8 | file.at(p + 1); };
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "MThd");
  out.format = u16(8);
  const int32_t tracks = u16(10);
  out.division = u16(12);
  at = 8 + u32(4);
  for (int32_t t = 0; t < tracks; ++t) {
    EXPECT_EQ(std::string(file.begin() + at, file.begin() + at + 4), "MTrk");
    const size_t end = at + 8 + u32(at + 4);
    size_t p = at + 8;
    auto varlen = [&] {
      uint32_t v = 0;
      uint8_t b;
      do {
        b = file.at(p++);
        v = v << 7 | (b & 0x7F);
      } while (b & 0x80);
      return v;
    };
    std::vector<TEventRecord> events;
    int32_t tick = 0, status = 0;
    while (p < end) {
      tick += static_cast<int32_t>(varlen());
      const uint8_t b = file.at(p);
      if (b == 0xFF) {
        const uint8_t type = file.at(p + 1);
        p += 2;
        const uint32_t length = varlen();
        if (type == 0x51) out.tempos.push_back({tick, int32_t(file.at(p)) << 16 | int32_t(file.at(p + 1)) << 8 | file.at(p + 2)});
        p += length;
        continue;
      }
      if (b == 0xF0 || b == 0xF7) {
        ++p;
        p += varlen();
        continue;
      }
      if (b & 0x80) {
        status = b;
        ++p;
      } else {
        ++out.runningStatusEvents;
      }
      const int32_t kind = status >> 4;
      const int32_t d1 = file.at(p++);
      const int32_t d2 = (kind == 0xC || kind == 0xD) ? 0 : file.at(p++);
      events.push_back({tick, status, d1, d2});
    }
    out.songLength = std::max(out.songLength, tick);
    out.tracks.push_back(events);
    at = end;
  }
  return out;
}

// The same file with running status: a channel status equal to the one before it
// in the track is left out.
TBytes WithRunningStatus(const TBytes& file) {
  TBytes out(file.begin(), file.begin() + 14);
  size_t at = 14;
  while (at < file.size()) {
    const size_t length = size_t(file[at + 4]) << 24 | size_t(file[at + 5]) << 16 | size_t(file[at + 6]) << 8 | file[at + 7];
    const size_t end = at + 8 + length;
    TBytes body;
    size_t p = at + 8;
    int32_t last = 0;
    auto copyVarlen = [&] {
      uint32_t v = 0;
      uint8_t b;
      do {
        b = file[p++];
        body.push_back(b);
        v = v << 7 | (b & 0x7F);
      } while (b & 0x80);
      return v;
    };
    while (p < end) {
      copyVarlen();
      const uint8_t b = file[p];
      if (b == 0xFF || b == 0xF0 || b == 0xF7) {
        body.push_back(file[p++]);
        if (b == 0xFF) body.push_back(file[p++]);
        const uint32_t n = copyVarlen();
        body.insert(body.end(), file.begin() + p, file.begin() + p + n);
        p += n;
        last = 0;  // as the standard has it: only channel events continue a status
        continue;
      }
      const int32_t status = (b & 0x80) ? b : last;
      if (b & 0x80) ++p;
      if (status != last) body.push_back(static_cast<uint8_t>(status));
      last = status;
      const int32_t kind = status >> 4;
      body.push_back(file[p++]);
      if (kind != 0xC && kind != 0xD) body.push_back(file[p++]);
    }
    const TBytes track = SmfTrack(body);
    out.insert(out.end(), track.begin(), track.end());
    at = end;
  }
  return out;
}

// mftext's reading of the channel events it names: per track, tick, status, data.
std::vector<std::vector<TEventRecord>> ReadWithMftext(const std::string& path) {
  std::string text;
  EXPECT_EQ(RunCommand("mftext '" + path + "'", &text), 0);
  std::vector<std::vector<TEventRecord>> tracks;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("Track start", 0) == 0) tracks.emplace_back();
    int tick, channel, a, b;
    if (sscanf(line.c_str(), "Time=%d Note on, chan=%d pitch=%d vol=%d", &tick, &channel, &a, &b) == 4)
      tracks.back().push_back({tick, 0x90 | (channel - 1), a, b});
    else if (sscanf(line.c_str(), "Time=%d Note off, chan=%d pitch=%d vol=%d", &tick, &channel, &a, &b) == 4)
      tracks.back().push_back({tick, 0x80 | (channel - 1), a, b});
    else if (sscanf(line.c_str(), "Time=%d Program, chan=%d program=%d", &tick, &channel, &a) == 3)
      tracks.back().push_back({tick, 0xC0 | (channel - 1), a, 0});
    else if (sscanf(line.c_str(), "Time=%d Parameter, chan=%d c1=%d c2=%d", &tick, &channel, &a, &b) == 4)
      tracks.back().push_back({tick, 0xB0 | (channel - 1), a, b});
  }
  return tracks;
}

std::vector<std::vector<TEventRecord>> LoadedTracks(const TMFPlayer& player) {
  std::vector<std::vector<TEventRecord>> tracks;
  for (const TMFPlayer::TTrack& track : player.GetTracks()) {
    tracks.emplace_back();
    for (int32_t i = track.first; i <= track.last; ++i) {
      const TMFPlayer::TEvent& e = player.GetEvents()[i];
      tracks.back().push_back({e.tick, e.status, e.data1, e.data2});
    }
  }
  return tracks;
}

const char* tunes = R"(X:1
T:Groove
M:4/4
L:1/8
Q:1/4=120
K:C
V:1
[CE]DEF GAB[ce]|[Q:1/4=90] cBAG FEDC|[Q:1/4=140] [C2E2] G2[c2e2]|
V:2
C,2E,2 G,2C2|[Q:1/4=100] E2G2 c4|C,8|

X:2
T:Chords
M:3/4
L:1/4
Q:1/4=100
K:G
%%MIDI program 10
"G"[GBd] [GBd] "C"[ceg]|"D"[dfa]2 "G"[GBd]|[Q:1/4=80]"Em"[EGB]3|

X:3
T:Drums
M:4/4
L:1/8
Q:1/4=96
K:D
%%MIDI program 33
V:1
[D2F2]FA d2AF|[Q:1/4=132]G2Bd [g2b2]dB|
V:2
%%MIDI channel 10
%%MIDI control 7 100
B,,2 D,2 B,,2 D,2|B,,B,, D,2 B,,2 D,D,|
)";

class MidiFilePeer : public ::testing::TestWithParam<int> {};

TEST_P(MidiFilePeer, LoaderAgreesWithTwoOtherReadings) {
  if (!HaveProgram("abc2midi") || !HaveProgram("mftext")) GTEST_FAIL() << "abc2midi and mftext (package abcmidi) are needed";
  TTempDir dir;
  WriteFile(dir.File("tunes.abc"), TBytes(tunes, tunes + strlen(tunes)));
  const std::string mid = dir.File("tune.mid");
  ASSERT_EQ(RunCommand("abc2midi '" + dir.File("tunes.abc") + "' " + std::to_string(GetParam()) + " -silent -o '" + mid + "'"), 0);
  const TBytes written = ReadFile(mid);
  const TDecoded decoded = Decode(written);
  ASSERT_EQ(decoded.format, 1);
  ASSERT_GE(decoded.tracks.size(), 2u);
  ASSERT_GE(decoded.tempos.size(), 2u);  // the tune changes its tempo

  const TBytes running = WithRunningStatus(written);
  ASSERT_LT(running.size(), written.size());
  const TDecoded decodedRunning = Decode(running);
  EXPECT_GT(decodedRunning.runningStatusEvents, 0);
  EXPECT_EQ(decodedRunning.tracks, decoded.tracks);
  WriteFile(dir.File("running.mid"), running);

  TScriptedPresenter messages;
  TRecordingHost host;
  for (const TBytes* file : {&written, &running}) {
    TMFPlayer player(&host);
    ASSERT_EQ(player.LoadBytes(file->data(), file->size(), "tune.mid"), 1);
    EXPECT_EQ(player.GetFormat(), decoded.format);
    EXPECT_EQ(player.GetDivision(), decoded.division);
    EXPECT_EQ(player.GetSongLength(), decoded.songLength);
    EXPECT_EQ(LoadedTracks(player), decoded.tracks);
    ASSERT_EQ(player.GetTempos().size(), decoded.tempos.size());
    for (size_t i = 0; i < decoded.tempos.size(); ++i) {
      EXPECT_EQ(player.GetTempos()[i].tick, decoded.tempos[i].first);
      EXPECT_EQ(player.GetTempos()[i].bpm, static_cast<float>(60000000 / decoded.tempos[i].second));
    }
  }
  EXPECT_TRUE(messages.shown.empty());

  // mftext names every event abc2midi writes here; it reads the running-status copy alike.
  EXPECT_EQ(ReadWithMftext(mid), decoded.tracks);
  EXPECT_EQ(ReadWithMftext(dir.File("running.mid")), decoded.tracks);
}

INSTANTIATE_TEST_SUITE_P(Tunes, MidiFilePeer, ::testing::Values(1, 2, 3));

}  // namespace
