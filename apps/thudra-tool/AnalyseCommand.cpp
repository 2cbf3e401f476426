// thudra-tool analyse [--json] FILE: the analysis of channel 0 of an audio file.
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
  const int32_t step = analysis.GetStep();
  args.out << path << '\n';
  args.out << "  step     " << step << " frames at " << file.GetSampleRate() << " Hz\n";
  args.out << "  entries  " << analysis.GetEntryCount() << '\n';
  args.out << "  entry  positions            boundary\n";
  for (int32_t i = 0; i < analysis.GetEntryCount(); ++i) {
    const int64_t first = int64_t(i) * step;
    std::string positions = std::to_string(first) + "-" + std::to_string(first + step - 1);
    positions.resize(std::max<size_t>(positions.size(), 20), ' ');
    args.out << "  " << std::to_string(i) << std::string(size_t(std::max<int>(1, 7 - int(std::to_string(i).size()))), ' ')
             << positions << ' ' << analysis.GetTable()[i] << '\n';
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
