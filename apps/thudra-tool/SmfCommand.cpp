// thudra-tool smf [--json] FILE: what the MIDI file player's loader stores of a
// Standard MIDI File.
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "TJsonWriter.h"
#include "ToolCommand.h"
#include "foundation/IFileName.h"
#include "foundation/Messages.h"
#include "midi/TMFPlayer.h"

namespace {

// Keeps the text of the messages the loader shows instead of showing them.
class TCapturedMessages : public IMessagePresenter {
public:
  TCapturedMessages() : previous(SetMessagePresenter(this)) {}
  ~TCapturedMessages() override { SetMessagePresenter(previous); }
  TCapturedMessages(const TCapturedMessages&) = delete;
  TCapturedMessages& operator=(const TCapturedMessages&) = delete;

  EAnswer Present(const TStr& text, const TStr&, uint32_t) override {
    if (first.empty()) first = std::string(std::string_view(text));
    return EAnswer::Ok;
  }
  std::string first;

private:
  IMessagePresenter* previous;
};

// A player with nowhere to play: the loader alone is used.
class TSilentHost : public TBase, public virtual IMFPlayerHost {
public:
  void OnMidiInput(int32_t, int32_t, int32_t, int32_t) override {}
  int32_t IsPlaybackOn() override { return 0; }
  int32_t IsHostReady() override { return 0; }
  void SetPlayback(int32_t) override {}
};

// A float as its shortest decimal form (0.05, not 0.0500000007).
double Shortest(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text - 1, value).ptr;
  *end = 0;
  return std::strtod(text, nullptr);
}

std::string WithGivenPath(std::string message, const std::string& resolved, const std::string& given) {
  if (resolved.empty() || resolved == given) return message;
  for (size_t at = message.find(resolved); at != std::string::npos; at = message.find(resolved, at + given.size()))
    message.replace(at, resolved.size(), given);
  return message;
}

void PrintJson(TToolArgs& args, const std::string& path, TMFPlayer& player) {
  TJsonWriter json;
  json.BeginObject().Key("file").String(path).Key("format").Int(player.GetFormat());
  json.Key("trackCount").Int(player.GetTrackCount()).Key("division").Int(player.GetDivision());
  json.Key("tracks").BeginArray();
  for (const TMFPlayer::TTrack& track : player.GetTracks()) {
    json.BeginArray();
    for (int32_t i = track.first; i <= track.last; ++i) {
      const TMFPlayer::TEvent& e = player.GetEvents()[i];
      json.BeginArray().Int(e.tick).Int(e.status).Int(e.data1).Int(e.data2).EndArray();
    }
    json.EndArray();
  }
  json.EndArray().Key("tempos").BeginArray();
  for (const TMFPlayer::TTempo& tempo : player.GetTempos()) json.BeginArray().Int(tempo.tick).Number(Shortest(tempo.bpm)).EndArray();
  json.EndArray().Key("songLength").Int(player.GetSongLength());
  json.Key("clocksPerTick").Number(Shortest(player.GetClocksPerTick())).EndObject();
  args.out << json.Text() << '\n';
}

void PrintText(TToolArgs& args, const std::string& path, TMFPlayer& player) {
  args.out << path << '\n';
  args.out << "  format           " << player.GetFormat() << '\n';
  args.out << "  tracks           " << player.GetTrackCount() << '\n';
  args.out << "  division         " << player.GetDivision() << " ticks per quarter note\n";
  args.out << "  song length      " << player.GetSongLength() << " ticks\n";
  args.out << "  clocks per tick  " << player.GetClocksPerTick() << '\n';
  args.out << "  events           " << player.GetEvents().size() << '\n';
  for (const TMFPlayer::TTempo& tempo : player.GetTempos())
    args.out << "  tempo at " << tempo.tick << ": " << tempo.bpm << " BPM\n";
  int32_t number = 0;
  for (const TMFPlayer::TTrack& track : player.GetTracks()) {
    args.out << "  track " << ++number << ": " << (track.last - track.first + 1) << " events\n";
    args.out << "        tick  status  data1  data2\n";
    for (int32_t i = track.first; i <= track.last; ++i) {
      const TMFPlayer::TEvent& e = player.GetEvents()[i];
      char line[64];
      std::snprintf(line, sizeof line, "  %10d    0x%02X  %5d  %5d\n", e.tick, e.status, e.data1, e.data2);
      args.out << line;
    }
  }
}

}  // namespace

int RunSmf(TToolArgs& args) {
  bool asJson = false;
  std::vector<std::string> paths;
  for (const std::string& word : args.words) {
    if (word == "--json") asJson = true;
    else paths.push_back(word);
  }
  if (paths.size() != 1) return PrintUsage(*FindToolCommand("smf"), args.err);
  const std::string& path = paths.front();

  std::string error = "Out of Memory !!!";
  TSilentHost host;
  TMFPlayer player(&host);
  EPtr<IFileName> name(IFileName::Create(TStr(path)));
  if (name) {
    TCapturedMessages messages;
    if (player.Load(*name)) {
      if (asJson) PrintJson(args, path, player);
      else PrintText(args, path, player);
      return exitOk;
    }
    error = WithGivenPath(messages.first, std::string(std::string_view(name->GetPath())), path);
  }
  if (asJson) {
    TJsonWriter json;
    json.BeginObject().Key("file").String(path).Key("error").String(error).EndObject();
    args.out << json.Text() << '\n';
  } else {
    args.err << path << ": " << error << '\n';
  }
  return exitFailed;
}
