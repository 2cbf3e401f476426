// thudra-tool analyse [--json] FILE: the analysis of channel 0 of an audio file.
#include <cstdio>
#include <new>

#include "TJsonWriter.h"
#include "ToolCommand.h"
#include "ToolFiles.h"
#include "audiofile/TAudioAnalysis.h"
#include "foundation/Messages.h"

namespace {
void PrintJson(TToolArgs& args, const std::string& path, const IAudioFile& file, const TAudioAnalysis& analysis) {
  TJsonWriter json;
  json.BeginObject().Key("file").String(path).Key("sampleRate").Int(file.GetSampleRate());
  json.Key("length").Int(file.GetLength()).Key("step").Int(analysis.GetStep());
  json.Key("entries").Int(analysis.GetEntryCount()).Key("table").BeginArray();
  for (int32_t i = 0; i < analysis.GetEntryCount(); ++i) json.Int(analysis.GetTable()[i]);
  json.EndArray().EndObject();
  args.out << json.Text() << '\n';
}

void PrintText(TToolArgs& args, const std::string& path, const IAudioFile& file, const TAudioAnalysis& analysis) {
  const int64_t step = analysis.GetStep();
  args.out << path << '\n';
  args.out << "  step     " << step << " frames at " << file.GetSampleRate() << " Hz\n";
  args.out << "  entries  " << analysis.GetEntryCount() << '\n';
  args.out << "  entry  positions          boundary\n";
  for (int32_t i = 0; i < analysis.GetEntryCount(); ++i) {
    char line[96];
    const std::string positions = std::to_string(i * step) + "-" + std::to_string((i + 1) * step - 1);
    std::snprintf(line, sizeof line, "  %5d  %-17s  %d\n", i, positions.c_str(), analysis.GetTable()[i]);
    args.out << line;
  }
}
}  // namespace

int RunAnalyse(TToolArgs& args) {
  bool asJson = false;
  std::vector<std::string> paths;
  for (const std::string& word : args.words) {
    if (word == "--json") asJson = true;
    else paths.push_back(word);
  }
  if (paths.size() != 1) return PrintUsage(*FindToolCommand("analyse"), args.err);
  const std::string& path = paths.front();
  std::string error;
  EPtr<TChunkedAudioFile> file(OpenAudioFileForTool(path, error));
  if (file) {
    try {
      TAudioBuf samples;
      ReadChannelZero(*file, samples);
      TAudioAnalysis analysis;
      analysis.Analyse(samples);
      if (asJson) PrintJson(args, path, *file, analysis);
      else PrintText(args, path, *file, analysis);
      return exitOk;
    } catch (EError) {
      error = TakeErrorMessage(path, file->GetFileName().GetPath());
    } catch (const std::bad_alloc&) {
      error = "Memory is low. Cannot finish operation!";
    }
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
