// thudra-tool info [--json] FILE...: the properties and the chunk tree of audio files.
#include <cstdio>

#include "TJsonWriter.h"
#include "ToolCommand.h"
#include "ToolFiles.h"
#include "audiofile/TAIFFFile.h"

namespace {
const char* FormatName(const TChunkedAudioFile& file) {
  return dynamic_cast<const TAIFFFile*>(&file) ? "aiff" : "wav";
}

int32_t AnalysisEntries(const TChunkedAudioFile& file) {
  return file.GetAnalysis() ? file.GetAnalysis()->GetEntryCount() : 0;
}

std::string IdBytes(const TFileChunk& chunk) { return std::string(std::string_view(chunk.GetID())); }

// Printable identifiers as they are, other bytes as \xNN.
std::string ReadableId(const TFileChunk& chunk) {
  std::string text;
  for (char c : IdBytes(chunk)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '\\') {
      text += c;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      text += escape;
    }
  }
  return text;
}

void WriteChunkList(TJsonWriter& json, const TFileChunk& chunk) {
  json.BeginObject().Key("id").String(IdBytes(chunk)).Key("size").Int(chunk.GetDeclaredSize());
  json.Key("offset").Int(chunk.DataOffset()).EndObject();
  for (const TFileChunk* sub = chunk.GetFirstSubChunk(); sub; sub = sub->GetNextSibling()) WriteChunkList(json, *sub);
}

void PrintJson(TToolArgs& args, const std::string& path, const TChunkedAudioFile& file) {
  TJsonWriter json;
  json.BeginObject();
  json.Key("file").String(path).Key("format").String(FormatName(file));
  json.Key("channels").Int(file.GetChannels()).Key("sampleRate").Int(file.GetSampleRate());
  json.Key("bits").Int(file.GetBits()).Key("length").Int(file.GetLength());
  json.Key("durationMs").Number(file.GetDurationMs());
  json.Key("loop").Bool(file.GetLoop()).Key("pingPong").Bool(file.GetPingPong());
  json.Key("loopStart").Int(file.GetLoopStart()).Key("loopEnd").Int(file.GetLoopEnd());
  json.Key("rootKey").Int(file.GetRootKey()).Key("dataOffset").Int(file.GetDataOffset());
  json.Key("analysisEntries").Int(AnalysisEntries(file));
  json.Key("chunks").BeginArray();
  if (file.GetRoot()) WriteChunkList(json, *file.GetRoot());
  json.EndArray().EndObject();
  args.out << json.Text() << '\n';
}

void PrintChunkTree(TToolArgs& args, const TFileChunk& chunk, int depth) {
  args.out << std::string(size_t(4 + 2 * depth), ' ') << ReadableId(chunk) << "  size " << chunk.GetDeclaredSize()
           << "  offset " << chunk.DataOffset() << '\n';
  for (const TFileChunk* sub = chunk.GetFirstSubChunk(); sub; sub = sub->GetNextSibling())
    PrintChunkTree(args, *sub, depth + 1);
}

void PrintText(TToolArgs& args, const std::string& path, const TChunkedAudioFile& file) {
  char duration[32];
  std::snprintf(duration, sizeof duration, "%.3f", file.GetDurationMs());
  args.out << path << '\n';
  args.out << "  format       " << FormatName(file) << ", " << file.GetChannels() << " channel(s), "
           << file.GetSampleRate() << " Hz, " << file.GetBits() << " bits\n";
  args.out << "  length       " << file.GetLength() << " frames (" << duration << " ms)\n";
  args.out << "  loop         ";
  if (file.GetLoop())
    args.out << (file.GetPingPong() ? "ping-pong" : "forward") << ", frames " << file.GetLoopStart() << " to "
             << file.GetLoopEnd() << " (end exclusive)\n";
  else
    args.out << "off\n";
  args.out << "  root key     " << file.GetRootKey() << '\n';
  args.out << "  data offset  " << file.GetDataOffset() << '\n';
  args.out << "  analysis     " << AnalysisEntries(file) << " entries\n";
  args.out << "  chunks\n";
  if (file.GetRoot()) PrintChunkTree(args, *file.GetRoot(), 0);
}

void PrintError(TToolArgs& args, bool asJson, const std::string& path, const std::string& message) {
  if (!asJson) {
    args.err << path << ": " << message << '\n';
    return;
  }
  TJsonWriter json;
  json.BeginObject().Key("file").String(path).Key("error").String(message).EndObject();
  args.out << json.Text() << '\n';
}
}  // namespace

int RunInfo(TToolArgs& args) {
  bool asJson = false;
  std::vector<std::string> paths;
  for (const std::string& word : args.words) {
    if (word == "--json") asJson = true;
    else paths.push_back(word);
  }
  if (paths.empty()) return PrintUsage(*FindToolCommand("info"), args.err);
  int result = exitOk;
  for (const std::string& path : paths) {
    std::string error;
    EPtr<TChunkedAudioFile> file(OpenAudioFileForTool(path, error));
    if (!file) {
      PrintError(args, asJson, path, error);
      result = exitFailed;
      continue;
    }
    if (asJson) PrintJson(args, path, *file);
    else PrintText(args, path, *file);
  }
  return result;
}
