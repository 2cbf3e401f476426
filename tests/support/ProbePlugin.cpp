// The probe plug-in (see ProbeControl.h). Built twice: with the "main" export and,
// with THUDRA_PROBE_NO_MAIN defined, without it.
#include <atomic>
#include <cstdarg>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "ProbeControl.h"
#include "audio/THDRecordingPrp.h"
#include "foundation/Messages.h"
#include "vst2/Vst2.h"

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr const char* kProduct = "Thudra - 54 channel professional drum sampler";
constexpr size_t kRecordLimit = 16u << 20;

// ---- record and log ----------------------------------------------------------

std::mutex probeMutex;  // guards everything in this block
std::string record;
size_t overflowCount = 0;
std::string snapshot;
std::map<std::string, std::string> overrides;
FILE* logFile = nullptr;
std::string logPath;

void Record(const std::string& line) {
  std::lock_guard<std::mutex> lock(probeMutex);
  if (record.size() + line.size() + 1 <= kRecordLimit) {
    record += line;
    record += '\n';
  } else {
    ++overflowCount;
  }
  if (logFile) {
    std::fputs(line.c_str(), logFile);
    std::fputc('\n', logFile);
    std::fflush(logFile);
  }
}

std::string Switch(const char* name) {
  std::lock_guard<std::mutex> lock(probeMutex);
  const auto it = overrides.find(name);
  if (it != overrides.end()) return it->second;
  const char* value = std::getenv(name);
  return value ? value : "";
}

void OpenLog(const std::string& path) {
  std::lock_guard<std::mutex> lock(probeMutex);
  if (path == logPath) return;
  if (logFile) std::fclose(logFile);
  logFile = path.empty() ? nullptr : std::fopen(path.c_str(), "ae");
  logPath = path;
}

__attribute__((destructor)) void WriteUnload() {
  std::lock_guard<std::mutex> lock(probeMutex);
  if (!logFile) return;
  std::fputs("unload\n", logFile);
  std::fclose(logFile);
  logFile = nullptr;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

std::string Hex(const uint8_t* data, size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i) text += Format("%02x", data[i]);
  return text;
}

uint64_t Fnv(const uint8_t* data, size_t size) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 0x100000001b3ull;
  return h;
}

std::string EventText(const VstEvent* e) {
  if (!e) return " null";
  if (e->type != kVstMidiType) return Format(" %d:type%d", e->deltaFrames, e->type);
  const auto* m = reinterpret_cast<const VstMidiEvent*>(e);
  return Format(" %d:", m->deltaFrames) + Hex(reinterpret_cast<const uint8_t*>(m->midiData), 4);
}

const char* OpcodeName(VstInt32 op) {
  static const std::map<VstInt32, const char*> names = {
      {effOpen, "effOpen"}, {effClose, "effClose"}, {effSetProgram, "effSetProgram"},
      {effGetProgram, "effGetProgram"}, {effSetProgramName, "effSetProgramName"},
      {effGetProgramName, "effGetProgramName"}, {effGetParamLabel, "effGetParamLabel"},
      {effGetParamDisplay, "effGetParamDisplay"}, {effGetParamName, "effGetParamName"},
      {effSetSampleRate, "effSetSampleRate"}, {effSetBlockSize, "effSetBlockSize"},
      {effMainsChanged, "effMainsChanged"}, {effEditGetRect, "effEditGetRect"}, {effEditOpen, "effEditOpen"},
      {effEditClose, "effEditClose"}, {effEditIdle, "effEditIdle"}, {effIdentify, "effIdentify"},
      {effGetChunk, "effGetChunk"}, {effSetChunk, "effSetChunk"}, {effProcessEvents, "effProcessEvents"},
      {effCanBeAutomated, "effCanBeAutomated"}, {effString2Parameter, "effString2Parameter"},
      {effGetProgramNameIndexed, "effGetProgramNameIndexed"}, {effGetInputProperties, "effGetInputProperties"},
      {effGetOutputProperties, "effGetOutputProperties"}, {effGetPlugCategory, "effGetPlugCategory"},
      {effSetSpeakerArrangement, "effSetSpeakerArrangement"}, {effSetBypass, "effSetBypass"},
      {effGetEffectName, "effGetEffectName"}, {effGetVendorString, "effGetVendorString"},
      {effGetProductString, "effGetProductString"}, {effGetVendorVersion, "effGetVendorVersion"},
      {effVendorSpecific, "effVendorSpecific"}, {effCanDo, "effCanDo"}, {effGetTailSize, "effGetTailSize"},
      {effIdle, "effIdle"}, {effGetParameterProperties, "effGetParameterProperties"},
      {effKeysRequired, "effKeysRequired"}, {effGetVstVersion, "effGetVstVersion"},
      {effEditKeyDown, "effEditKeyDown"}, {effEditKeyUp, "effEditKeyUp"},
      {effSetEditKnobMode, "effSetEditKnobMode"}, {effStartProcess, "effStartProcess"},
      {effStopProcess, "effStopProcess"}};
  const auto it = names.find(op);
  return it == names.end() ? "unknown" : it->second;
}

// ---- configuration -----------------------------------------------------------

struct TScheduled {
  long idle;
  int transport;  // 1 tape, 0 player
  int command;
  int loop;
};

struct TConfig {
  std::string product = kProduct;
  bool noEditor = false;
  std::string chunkMode = "echo";
  bool mainNull = false;
  bool callInMain = false;
  bool askHost = false;
  struct TSizeRequest {
    int width, height;
    long idle;  // 0: the first idle call of either kind
  };
  std::vector<TSizeRequest> sizeRequests;
  int eventsOut = 0;
  std::vector<TScheduled> schedule;
  std::string folder = ".";
  std::string fileName = "probe take.wav";
  std::string newName = "probe renamed.wav";
  int fileType = 4;
  bool getTime = false;
  long slowMicroseconds = 0;
  std::string signal = "silence";
};

bool On(const std::string& value) { return !value.empty() && value != "0"; }

std::vector<TScheduled> ParseSchedule(const std::string& text) {
  std::vector<TScheduled> list;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(start, end - start);
    long idle = 0;
    char kind = 0;
    int command = 0, loop = 0;
    if (std::sscanf(item.c_str(), "%ld:%c%d:%d", &idle, &kind, &command, &loop) >= 3 && (kind == 't' || kind == 'p'))
      list.push_back({idle, kind == 't' ? 1 : 0, command, loop});
    start = end + 1;
  }
  return list;
}

std::vector<TConfig::TSizeRequest> ParseSizeRequests(const std::string& text) {
  std::vector<TConfig::TSizeRequest> list;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(start, end - start);
    TConfig::TSizeRequest request{0, 0, 0};
    if (std::sscanf(item.c_str(), "%dx%d@%ld", &request.width, &request.height, &request.idle) >= 2)
      list.push_back(request);
    start = end + 1;
  }
  return list;
}

TConfig ReadConfig() {
  TConfig c;
  OpenLog(Switch("THUDRA_PROBE_LOG"));
  const std::string product = Switch("THUDRA_PROBE_PRODUCT");
  if (product == "suffix") c.product = std::string(kProduct) + " 2";
  if (product == "other") c.product = "Probe Instrument";
  const std::string text = Switch("THUDRA_PROBE_PRODUCT_TEXT");
  if (!text.empty()) c.product = text;
  c.noEditor = On(Switch("THUDRA_PROBE_NO_EDITOR"));
  const std::string chunk = Switch("THUDRA_PROBE_CHUNK");
  if (chunk == "empty" || chunk == "fixed") c.chunkMode = chunk;
  c.mainNull = On(Switch("THUDRA_PROBE_MAIN_NULL"));
  c.callInMain = On(Switch("THUDRA_PROBE_CALL_IN_MAIN"));
  c.askHost = On(Switch("THUDRA_PROBE_ASK_HOST"));
  c.sizeRequests = ParseSizeRequests(Switch("THUDRA_PROBE_SIZE_REQUEST"));
  c.eventsOut = std::atoi(Switch("THUDRA_PROBE_EVENTS_OUT").c_str());
  c.schedule = ParseSchedule(Switch("THUDRA_PROBE_COMMANDS"));
  if (!Switch("THUDRA_PROBE_FOLDER").empty()) c.folder = Switch("THUDRA_PROBE_FOLDER");
  if (!Switch("THUDRA_PROBE_FILE").empty()) c.fileName = Switch("THUDRA_PROBE_FILE");
  if (!Switch("THUDRA_PROBE_NEW_NAME").empty()) c.newName = Switch("THUDRA_PROBE_NEW_NAME");
  if (!Switch("THUDRA_PROBE_FILE_TYPE").empty()) c.fileType = std::atoi(Switch("THUDRA_PROBE_FILE_TYPE").c_str());
  c.getTime = On(Switch("THUDRA_PROBE_GET_TIME"));
  c.slowMicroseconds = std::atol(Switch("THUDRA_PROBE_SLOW_US").c_str());
  const std::string signal = Switch("THUDRA_PROBE_SIGNAL");
  if (signal == "ramp" || signal == "through") c.signal = signal;
  return c;
}

// Strings the host leaves empty point at the host's own empty text: forget them
// instead of freeing them. Strings we hand over are never empty.
void AdoptFromHost(TStr& s) {
  static const TStr ownEmpty;
  if (s.IsEmpty() && s.Text() != ownEmpty.Text()) new (&s) TStr();
}
TStr NonEmpty(const std::string& text) { return TStr(text.empty() ? "-" : text.c_str()); }

// ---- the probe ------------------------------------------------------------------

class TProbe;
std::atomic<TProbe*> live{nullptr};

class TProbe {
public:
  TProbe(audioMasterCallback host, const TConfig& config) : host(host), config(config) {
    effect.magic = kEffectMagic;
    effect.dispatcher = &DispatchEntry;
    effect.process = &ProcessEntry;
    effect.setParameter = &SetParameterEntry;
    effect.getParameter = &GetParameterEntry;
    effect.numPrograms = 1;
    effect.numParams = 4;
    effect.numInputs = 16;
    effect.numOutputs = 16;
    effect.flags = effFlagsCanReplacing | effFlagsProgramChunks | effFlagsIsSynth;
    if (!config.noEditor) effect.flags |= effFlagsHasEditor;
    effect.ioRatio = 1.0f;
    effect.object = this;
    effect.uniqueID = ('P' << 24) | ('r' << 16) | ('b' << 8) | 'e';
    effect.version = 1;
    effect.processReplacing = &ProcessReplacingEntry;
    const char* initial = "THUDRA-PROBE-001";
    chunk.assign(initial, initial + 16);
    if (config.chunkMode == "fixed") {
      chunk.resize(64);
      for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>((i * 7 + 3) & 0xFF);
    }
    command.fileName = NonEmpty(config.fileName);
    command.folder = NonEmpty(config.folder);
    command.newName = NonEmpty(config.newName);
  }

  AEffect* Effect() { return &effect; }

  VstIntPtr Call(VstInt32 op, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    const VstIntPtr answer = host ? host(&effect, op, index, value, ptr, opt) : 0;
    std::string line = Format("callback op=%d index=%d value=%" PRIdPTR " answer=%" PRIdPTR, op, index, value, answer);
    if (op == audioMasterGetTime && answer) {
      const auto* t = reinterpret_cast<const VstTimeInfo*>(answer);
      line += Format(" time samplePos=%g sampleRate=%g ppq=%g tempo=%g num=%d den=%d flags=0x%x", t->samplePos,
                     t->sampleRate, t->ppqPos, t->tempo, t->timeSigNumerator, t->timeSigDenominator, t->flags);
    } else if ((op == audioMasterGetVendorString || op == audioMasterGetProductString) && ptr) {
      line += Format(" text=\"%s\"", static_cast<const char*>(ptr));
    } else if (op == audioMasterCanDo && ptr) {
      line += Format(" ask=\"%s\"", static_cast<const char*>(ptr));
    } else if (op == audioMasterVendorSpecific && ptr == &command) {
      line += CommandText(index);
    }
    Record(line);
    return answer;
  }

  VstIntPtr SendEvents(int count) {
    count = count < 0 ? 0 : count > 1000 ? 1000 : count;
    std::vector<VstMidiEvent> events(static_cast<size_t>(count));
    std::vector<VstEvent*> pointers(static_cast<size_t>(count) + 2, nullptr);
    for (int i = 0; i < count; ++i) {
      VstMidiEvent& e = events[static_cast<size_t>(i)];
      e = VstMidiEvent{};
      e.type = kVstMidiType;
      e.byteSize = sizeof(VstMidiEvent) - 8;
      e.deltaFrames = i;
      e.midiData[0] = static_cast<char>(0x93);
      e.midiData[1] = static_cast<char>((60 + i) % 128);
      e.midiData[2] = 100;
      pointers[static_cast<size_t>(i)] = reinterpret_cast<VstEvent*>(&e);
    }
    // A VstEvents header followed by the pointers.
    std::vector<uint8_t> block(offsetof(VstEvents, events) + pointers.size() * sizeof(VstEvent*));
    auto* list = reinterpret_cast<VstEvents*>(block.data());
    list->numEvents = count;
    std::memcpy(block.data() + offsetof(VstEvents, events), pointers.data(), pointers.size() * sizeof(VstEvent*));
    return Call(audioMasterProcessEvents, 0, 0, list, 0.0f);
  }

  VstIntPtr SendCommand(int transport, int code, const char* folder, const char* fileName, const char* newName,
                        int loop) {
    command.command = code;
    command.position = 0;
    command.recordMode = 0;
    command.playMode = 0;
    command.sampleRate = 0;
    command.playerActive = 0;
    command.paused = 0;
    command.playerStopped = 0;
    command.loop = loop;
    command.folder = NonEmpty(folder ? folder : config.folder);
    command.fileName = NonEmpty(fileName ? fileName : config.fileName);
    command.newName = NonEmpty(newName ? newName : config.newName);
    command.fileType = config.fileType;
    const VstIntPtr answer = Call(audioMasterVendorSpecific, transport, 0, &command, 0.0f);
    AdoptFromHost(command.fileName);
    AdoptFromHost(command.folder);
    AdoptFromHost(command.newName);
    return answer;
  }

private:
  static TProbe* From(AEffect* e) { return e ? static_cast<TProbe*>(e->object) : nullptr; }

  static VstIntPtr DispatchEntry(AEffect* e, VstInt32 op, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    TProbe* self = From(e);
    return self ? self->Dispatch(op, index, value, ptr, opt) : 0;
  }
  static void ProcessEntry(AEffect* e, float**, float**, VstInt32 frames) {
    if (From(e)) Record(Format("accumulate frames=%d", frames));
  }
  static void ProcessReplacingEntry(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
    if (TProbe* self = From(e)) self->ProcessReplacing(inputs, outputs, frames);
  }
  static void SetParameterEntry(AEffect* e, VstInt32 index, float value) {
    TProbe* self = From(e);
    if (!self) return;
    Record(Format("setParameter index=%d value=%g", index, value));
    if (index >= 0 && index < 4) self->parameters[index] = value;
  }
  static float GetParameterEntry(AEffect* e, VstInt32 index) {
    TProbe* self = From(e);
    if (!self) return 0;
    Record(Format("getParameter index=%d", index));
    return index >= 0 && index < 4 ? self->parameters[index] : 0.0f;
  }

  VstIntPtr Dispatch(VstInt32 op, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    std::string line = Format("dispatch op=%d name=%s index=%d value=%" PRIdPTR " opt=%g", op, OpcodeName(op), index,
                              value, opt);
    VstIntPtr answer = 0;
    switch (op) {
      case effOpen:
        Record(line);
        if (config.askHost) AskHost();
        return 0;
      case effClose:
        Record(line);
        live.store(nullptr);
        delete this;
        return 1;
      case effGetProductString:
        if (ptr) {
          std::strncpy(static_cast<char*>(ptr), config.product.c_str(), kVstMaxProductStrLen - 1);
          static_cast<char*>(ptr)[kVstMaxProductStrLen - 1] = 0;
          line += Format(" text=\"%s\"", static_cast<const char*>(ptr));
        }
        answer = 1;
        break;
      case effGetVendorString:
        if (ptr) std::strcpy(static_cast<char*>(ptr), "Probe");
        answer = 1;
        break;
      case effSetProgramName:
        if (ptr) {
          line += Format(" text=\"%.200s\"", static_cast<const char*>(ptr));
          std::strncpy(programName, static_cast<const char*>(ptr), sizeof programName - 1);
        }
        break;
      case effGetProgramName:
        if (ptr) {
          std::strcpy(static_cast<char*>(ptr), programName);
          line += Format(" text=\"%s\"", programName);
        }
        break;
      case effEditGetRect:
        if (config.noEditor || !ptr) {
          line += " rect=none";
        } else {
          *static_cast<ERect**>(ptr) = &rect;
          line += Format(" rect=%d,%d,%d,%d", rect.top, rect.left, rect.bottom, rect.right);
          answer = 1;
        }
        break;
      case effEditOpen:
        line += Format(" window=0x%" PRIxPTR, reinterpret_cast<uintptr_t>(ptr));
        answer = config.noEditor ? 0 : 1;
        break;
      case effSetChunk: {
        const auto* bytes = static_cast<const uint8_t*>(ptr);
        const size_t size = value > 0 && ptr ? static_cast<size_t>(value) : 0;
        line += Format(" size=%" PRIdPTR " fnv=%016" PRIx64 " bytes=", value, Fnv(bytes, size)) +
                Hex(bytes, size < 256 ? size : 256);
        if (size > 0) {
          if (config.chunkMode == "echo") chunk.assign(bytes, bytes + size);
          answer = 1;
        }
        break;
      }
      case effGetChunk: {
        const size_t size = config.chunkMode == "empty" ? 0 : chunk.size();
        if (ptr) *static_cast<void**>(ptr) = chunk.data();
        line += Format(" size=%zu fnv=%016" PRIx64, size, Fnv(chunk.data(), size));
        answer = static_cast<VstIntPtr>(size);
        break;
      }
      case effProcessEvents: {
        const auto* list = static_cast<const VstEvents*>(ptr);
        const int count = list ? list->numEvents : 0;
        line += Format(" events=%d", count);
        for (int i = 0; i < count; ++i) {
          const std::string e = EventText(list->events[i]);
          line += e;
          pendingEvents += e;
          ++pendingCount;
        }
        answer = 1;
        break;
      }
      case effCanDo:
      case effString2Parameter:
        if (ptr) line += Format(" text=\"%.200s\"", static_cast<const char*>(ptr));
        break;
      case effEditKeyDown:
      case effEditKeyUp: line += Format(" key=%d", index); answer = op == effEditKeyDown ? 1 : 0; break;
      case effIdle:
      case effEditIdle:
        Record(line);
        Idle(op == effIdle);
        return 0;
      case effGetPlugCategory: answer = kPlugCategSynth; break;
      case effGetVstVersion: answer = 2400; break;
      default: break;
    }
    Record(line);
    return answer;
  }

  void AskHost() {
    Call(audioMasterVersion, 0, 0, nullptr, 0);
    char text[256] = {};
    Call(audioMasterGetVendorString, 0, 0, text, 0);
    std::memset(text, 0, sizeof text);
    Call(audioMasterGetProductString, 0, 0, text, 0);
    Call(audioMasterGetVendorVersion, 0, 0, nullptr, 0);
    for (const char* ask : {"sizeWindow", "sendVstTimeInfo", "SizeWindow", "receiveVstEvents"})
      Call(audioMasterCanDo, 0, 0, const_cast<char*>(ask), 0);
    Call(audioMasterGetTime, 0, 0, nullptr, 0);
  }

  void Idle(bool counted) {
    if (!idleSeen) {
      idleSeen = true;
      for (const auto& request : config.sizeRequests)
        if (request.idle == 0) Call(audioMasterSizeWindow, request.width, request.height, nullptr, 0);
      if (config.eventsOut > 0) SendEvents(config.eventsOut);
    }
    if (!counted) return;
    ++idleCount;
    for (const auto& request : config.sizeRequests)
      if (request.idle == idleCount) Call(audioMasterSizeWindow, request.width, request.height, nullptr, 0);
    for (const TScheduled& s : config.schedule)
      if (s.idle == idleCount) SendCommand(s.transport, s.command, nullptr, nullptr, nullptr, s.loop);
  }

  void ProcessReplacing(float** inputs, float** outputs, VstInt32 frames) {
    const auto started = std::chrono::steady_clock::now();
    Record(Format("process frames=%d events=%d", frames, pendingCount) + pendingEvents);
    pendingEvents.clear();
    pendingCount = 0;
    if (config.getTime) Call(audioMasterGetTime, 0, 0, nullptr, 0);
    for (int ch = 0; ch < 16 && outputs; ++ch) {
      float* out = outputs[ch];
      if (!out) continue;
      for (VstInt32 i = 0; i < frames; ++i) {
        if (config.signal == "ramp") {
          out[i] = static_cast<float>((frameCounter + i + ch) % 200 - 100) / 256.0f;
        } else if (config.signal == "through") {
          out[i] = inputs && inputs[ch] ? inputs[ch][i] : 0.0f;
        } else {
          out[i] = 0.0f;
        }
      }
    }
    frameCounter += frames > 0 ? frames : 0;
    if (config.slowMicroseconds > 0) {
      const auto until = started + std::chrono::microseconds(config.slowMicroseconds);
      while (std::chrono::steady_clock::now() < until) {
      }
    }
  }

  std::string CommandText(VstInt32 index) const {
    const THDRecordingPrp& c = command;
    std::string text = Format(" %s sent=%d answered position=%g", index == 1 ? "tape" : "player", c.command, c.position);
    if (index == 1) {
      text += Format(" recordMode=%d playMode=%d", c.recordMode, c.playMode);
    } else {
      text += Format(" playerPosition=%g length=%g", c.playerPosition, c.length);
    }
    text += Format(" sampleRate=%d playerActive=%d paused=%d playerStopped=%d loop=%d", c.sampleRate, c.playerActive,
                   c.paused, c.playerStopped, c.loop);
    text += Format(" fileName=\"%.300s\" folder=\"%.300s\" fileType=%d", c.fileName.Text(), c.folder.Text(), c.fileType);
    return text;
  }

  AEffect effect{};
  audioMasterCallback host;
  const TConfig config;
  std::vector<uint8_t> chunk;
  float parameters[4] = {};
  char programName[64] = "Probe Program";
  ERect rect{0, 0, 300, 400};
  THDRecordingPrp command;
  std::string pendingEvents;
  int pendingCount = 0;
  int64_t frameCounter = 0;
  bool idleSeen = false;
  long idleCount = 0;
};

AEffect* Enter(audioMasterCallback host) {
  const TConfig config = ReadConfig();
  Record("main");
  if (config.callInMain && host) {
    auto inMain = [&](VstInt32 op, VstInt32 index, VstIntPtr value, void* ptr) {
      Record(Format("call-in-main op=%d answer=%" PRIdPTR, op, host(nullptr, op, index, value, ptr, 0.0f)));
    };
    inMain(audioMasterVersion, 0, 0, nullptr);
    inMain(audioMasterIdle, 0, 0, nullptr);
    inMain(audioMasterGetTime, 0, 0, nullptr);
    VstMidiEvent note{};
    note.type = kVstMidiType;
    note.byteSize = sizeof(VstMidiEvent) - 8;
    note.midiData[0] = static_cast<char>(0x90);
    note.midiData[1] = 60;
    note.midiData[2] = 100;
    VstEvents list{};
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<VstEvent*>(&note);
    inMain(audioMasterProcessEvents, 0, 0, &list);
    inMain(audioMasterSizeWindow, 400, 300, nullptr);
    inMain(audioMasterCanDo, 0, 0, const_cast<char*>("sizeWindow"));
  }
  if (config.mainNull) {
    Record("main-null");
    return nullptr;
  }
  auto* probe = new (std::nothrow) TProbe(host, config);
  if (!probe) return nullptr;
  live.store(probe);
  return probe->Effect();
}

}  // namespace

// What the string class reports about memory, without the host's message boxes.
void ShowOutOfMemory(EOutOfMemory) { std::fputs("probe: Out of Memory !!!\n", stderr); }

PROBE_EXPORT AEffect* VSTPluginMain(audioMasterCallback host) { return Enter(host); }

#ifndef THUDRA_PROBE_NO_MAIN
PROBE_EXPORT AEffect* ProbeMainEntry(audioMasterCallback host) __asm__("main");
AEffect* ProbeMainEntry(audioMasterCallback host) { return Enter(host); }
#endif

PROBE_EXPORT const char* ProbeGetRecord(void) {
  std::lock_guard<std::mutex> lock(probeMutex);
  snapshot = record;
  if (overflowCount) snapshot += "overflow " + std::to_string(overflowCount) + "\n";
  return snapshot.c_str();
}

PROBE_EXPORT void ProbeClearRecord(void) {
  std::lock_guard<std::mutex> lock(probeMutex);
  record.clear();
  overflowCount = 0;
}

PROBE_EXPORT void ProbeSet(const char* name, const char* value) {
  if (!name) return;
  std::lock_guard<std::mutex> lock(probeMutex);
  if (value) {
    overrides[name] = value;
  } else {
    overrides.erase(name);
  }
}

PROBE_EXPORT void ProbeResetSwitches(void) {
  std::lock_guard<std::mutex> lock(probeMutex);
  overrides.clear();
}

PROBE_EXPORT long ProbeSendEvents(int count) {
  TProbe* probe = live.load();
  return probe ? static_cast<long>(probe->SendEvents(count)) : -1;
}

PROBE_EXPORT long ProbeSendCommand(int transport, int command, const char* folder, const char* fileName,
                                   const char* newName, int loop) {
  TProbe* probe = live.load();
  return probe ? static_cast<long>(probe->SendCommand(transport == 1 ? 1 : 0, command, folder, fileName, newName, loop))
               : -1;
}
