#include "TVoiceEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr float kSilence = 1e-4f;          // -80 dB: a fading voice ends here
constexpr double kChokeSeconds = 0.005;    // a choked voice fades out in 5 ms
constexpr double kShortestFade = 0.02;     // the shortest decay a cell can get
constexpr float kPi = 3.14159265f;

uint8_t Byte(char c) { return static_cast<uint8_t>(c); }

}  // namespace

TVoiceEngine::TVoiceEngine() : bank(TSampleBank::Shared()) { ApplyKit(TKit::Default()); }

void TVoiceEngine::ApplyKit(const TKit& kit) {
  for (int cell = 0; cell < kCellCount; ++cell) {
    const TCellSettings& c = kit.cells[cell];
    TCellLive& l = live[cell];
    l.level.store(c.level, std::memory_order_relaxed);
    l.pan.store(c.pan, std::memory_order_relaxed);
    l.tune.store(c.tune, std::memory_order_relaxed);
    l.decay.store(c.decay, std::memory_order_relaxed);
    l.outputPair.store(c.outputPair, std::memory_order_relaxed);
    l.chokeGroup.store(c.chokeGroup, std::memory_order_relaxed);
  }
  master.store(kit.master, std::memory_order_relaxed);
}

void TVoiceEngine::ReadKit(TKit& kit) const {
  for (int cell = 0; cell < kCellCount; ++cell) {
    TCellSettings& c = kit.cells[cell];
    const TCellLive& l = live[cell];
    c.level = l.level.load(std::memory_order_relaxed);
    c.pan = l.pan.load(std::memory_order_relaxed);
    c.tune = l.tune.load(std::memory_order_relaxed);
    c.decay = l.decay.load(std::memory_order_relaxed);
    c.outputPair = l.outputPair.load(std::memory_order_relaxed);
    c.chokeGroup = l.chokeGroup.load(std::memory_order_relaxed);
  }
  kit.master = Master();
}

void TVoiceEngine::SetMaster(float level) {
  if (std::isfinite(level)) master.store(std::clamp(level, 0.0f, 1.0f), std::memory_order_relaxed);
}

void TVoiceEngine::SetCellLevel(int cell, float level) {
  if (cell >= 0 && cell < kCellCount && std::isfinite(level))
    live[cell].level.store(std::clamp(level, 0.0f, 1.0f), std::memory_order_relaxed);
}

float TVoiceEngine::CellLevel(int cell) const {
  return cell >= 0 && cell < kCellCount ? live[cell].level.load(std::memory_order_relaxed) : 0.0f;
}

void TVoiceEngine::SetSampleRate(float rate) {
  if (std::isfinite(rate) && rate >= 1000.0f && rate <= 768000.0f) sampleRate.store(rate, std::memory_order_relaxed);
}

// ---- events ----------------------------------------------------------------

void TVoiceEngine::QueueEvents(const VstEvents* list) {
  if (!list || list->numEvents <= 0) return;
  for (int32_t i = 0; i < list->numEvents; ++i) {
    const VstEvent* e = list->events[i];
    if (!e || e->type != kVstMidiType) continue;
    const auto* midi = reinterpret_cast<const VstMidiEvent*>(e);
    AddEvent(midi->deltaFrames, Byte(midi->midiData[0]), Byte(midi->midiData[1]), Byte(midi->midiData[2]));
  }
}

void TVoiceEngine::AddEvent(int32_t delta, uint8_t status, uint8_t data1, uint8_t data2) {
  if (eventCount < maxEventsPerBlock) events[eventCount++] = {delta, status, data1, data2};
}

bool TVoiceEngine::PlayFromUi(int cell, int velocity) {
  if (cell < 0 || cell >= kCellCount || velocity <= 0) return false;
  const uint32_t head = ringHead.load(std::memory_order_relaxed);
  if (head - ringTail.load(std::memory_order_acquire) >= ringSize) return false;
  ring[head % ringSize] = {static_cast<uint8_t>(cell), static_cast<uint8_t>(std::min(velocity, 127))};
  ringHead.store(head + 1, std::memory_order_release);
  return true;
}

// Insertion sort by delta frame: stable, and linear for the usual sorted input.
void TVoiceEngine::SortEvents(int32_t frames) {
  for (int i = 0; i < eventCount; ++i) events[i].delta = std::clamp(events[i].delta, 0, std::max(0, frames - 1));
  for (int i = 1; i < eventCount; ++i) {
    const TEvent e = events[i];
    int j = i;
    while (j > 0 && events[j - 1].delta > e.delta) {
      events[j] = events[j - 1];
      --j;
    }
    events[j] = e;
  }
}

void TVoiceEngine::HandleEvent(const TEvent& e) {
  const uint8_t kind = e.status & 0xF0;
  if (kind == 0x90 && e.data2 > 0) {
    const int cell = (e.data1 & 0x7F) - kFirstCellNote;
    if (cell >= 0 && cell < kCellCount) NoteOn(cell, e.data2 & 0x7F);
  } else if (kind == 0xB0 && (e.data1 == 120 || e.data1 == 123)) {
    ChokeAll();
  }
  // Note-offs, and note-ons with velocity 0, leave the one-shot sounds ringing.
}

TVoiceEngine::TVoice& TVoiceEngine::FreeVoice() {
  TVoice* oldest = &voices[0];
  for (TVoice& v : voices) {
    if (!v.active) return v;
    if (v.order - nextOrder < oldest->order - nextOrder) oldest = &v;
  }
  return *oldest;  // voice stealing: the longest-playing voice makes room
}

void TVoiceEngine::NoteOn(int cell, int velocity) {
  const TCellLive& l = live[cell];
  const float rate = sampleRate.load(std::memory_order_relaxed);
  const int group = l.chokeGroup.load(std::memory_order_relaxed);
  if (group > 0) {
    const float chokeFactor = static_cast<float>(std::exp(std::log(kSilence) / (kChokeSeconds * rate)));
    for (TVoice& v : voices) {
      if (v.active && v.cell != cell && live[v.cell].chokeGroup.load(std::memory_order_relaxed) == group)
        v.envFactor = std::min(v.envFactor, chokeFactor);
    }
  }

  TVoice& v = FreeVoice();
  const TCellSound& sound = bank.Cell(cell);
  v.active = true;
  v.cell = cell;
  v.pair = std::clamp(l.outputPair.load(std::memory_order_relaxed), 0, outputCount / 2 - 1);
  v.order = nextOrder++;
  v.data = sound.frames.data();
  v.length = sound.Length();
  v.pos = 0;
  const float tune = l.tune.load(std::memory_order_relaxed);
  v.step = tune == 0.0f && rate == static_cast<float>(kBankSampleRate)
               ? 1.0
               : std::exp2(tune / 12.0) * kBankSampleRate / rate;
  v.velocityGain = static_cast<float>(velocity) / 127.0f;
  const float angle = (l.pan.load(std::memory_order_relaxed) + 1.0f) * (kPi / 4);
  v.panLeft = std::cos(angle);
  v.panRight = std::sin(angle);
  v.env = 1.0f;
  const float decay = l.decay.load(std::memory_order_relaxed);
  if (decay >= 1.0f) {
    v.envFactor = 1.0f;
  } else {
    const double fadeFrames = std::max(kShortestFade * rate, decay * v.length / v.step);
    v.envFactor = static_cast<float>(std::exp(std::log(kSilence) / fadeFrames));
  }
  startedThisBlock |= uint64_t{1} << cell;
}

void TVoiceEngine::ChokeAll() {
  const float chokeFactor =
      static_cast<float>(std::exp(std::log(kSilence) / (kChokeSeconds * sampleRate.load(std::memory_order_relaxed))));
  for (TVoice& v : voices) v.envFactor = std::min(v.envFactor, chokeFactor);
}

// ---- processing --------------------------------------------------------------

void TVoiceEngine::PrepareOutputs(float** inputs, float** outputs, int32_t frames) {
  const size_t bytes = static_cast<size_t>(frames) * sizeof(float);
  for (int ch = 0; ch < outputCount; ++ch) {
    float* out = outputs[ch];
    if (!out) continue;
    const float* in = ch < 2 && inputs ? inputs[ch] : nullptr;
    if (in == out) continue;
    if (in) {
      std::memmove(out, in, bytes);  // inputs 1 and 2 are heard on outputs 1 and 2
    } else {
      std::memset(out, 0, bytes);
    }
  }
}

void TVoiceEngine::Render(float** outputs, int32_t from, int32_t to) {
  const float masterLevel = Master();
  for (TVoice& v : voices) {
    if (!v.active) continue;
    const float gain = v.velocityGain * live[v.cell].level.load(std::memory_order_relaxed) * masterLevel;
    float* left = outputs[2 * v.pair];
    float* right = outputs[2 * v.pair + 1];
    const float* data = v.data;
    double pos = v.pos;
    float env = v.env;
    for (int32_t i = from; i < to; ++i) {
      const int32_t index = static_cast<int32_t>(pos);
      if (index >= v.length || env < kSilence) {
        v.active = false;
        break;
      }
      const float frac = static_cast<float>(pos - index);
      const float s = data[index] + frac * (data[index + 1] - data[index]);
      const float value = s * env * gain;
      if (left) left[i] += value * v.panLeft;
      if (right) right[i] += value * v.panRight;
      pos += v.step;
      env *= v.envFactor;
    }
    v.pos = pos;
    v.env = env;
  }
}

void TVoiceEngine::Publish() {
  uint64_t mask = 0;
  int count = 0;
  for (const TVoice& v : voices) {
    if (!v.active) continue;
    mask |= uint64_t{1} << v.cell;
    ++count;
  }
  sounding.store(mask, std::memory_order_relaxed);
  activeVoices.store(count, std::memory_order_relaxed);
  if (startedThisBlock) started.fetch_or(startedThisBlock, std::memory_order_relaxed);
  startedThisBlock = 0;
}

void TVoiceEngine::Process(float** inputs, float** outputs, int32_t frames) {
  if (resetRequested.exchange(false, std::memory_order_acquire)) {
    for (TVoice& v : voices) v.active = false;
  }
  const uint32_t head = ringHead.load(std::memory_order_acquire);
  uint32_t tail = ringTail.load(std::memory_order_relaxed);
  for (; tail != head; ++tail) {
    const TUiNote& n = ring[tail % ringSize];
    AddEvent(0, 0x90, static_cast<uint8_t>(kFirstCellNote + n.cell), n.velocity);
  }
  ringTail.store(tail, std::memory_order_release);

  if (!outputs || frames <= 0) {
    eventCount = 0;
    return;
  }
  PrepareOutputs(inputs, outputs, frames);
  SortEvents(frames);
  int32_t pos = 0;
  for (int i = 0; i < eventCount; ++i) {
    if (events[i].delta > pos) {
      Render(outputs, pos, events[i].delta);
      pos = events[i].delta;
    }
    HandleEvent(events[i]);
  }
  Render(outputs, pos, frames);
  eventCount = 0;
  Publish();
}
