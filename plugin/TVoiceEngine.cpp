#include "TVoiceEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr float kSilence = 1e-4f;       // -80 dB: a decaying voice ends here
constexpr double kShortestFade = 0.02;  // the shortest decay a cell can get
constexpr float kPi = 3.14159265f;
// The per-hit variation: up to this much pitch and level either way, so that
// repeated hits of one sound do not add up coherently.
constexpr double kVariationCents = 6.0;
constexpr double kVariationDb = 0.4;

uint8_t Byte(char c) { return static_cast<uint8_t>(c); }

// A hash of cell and hit number: the same variation for the same hit after a reset.
uint32_t Mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}
double Uniform(uint32_t bits) { return static_cast<double>(bits) / 2147483648.0 - 1.0; }  // -1 .. 1

struct TVelocityTable {
  float gain[128];
  TVelocityTable() {
    for (int v = 0; v < 128; ++v) gain[v] = static_cast<float>(std::pow(v / 127.0, 1.75));
  }
};
const TVelocityTable kVelocity;

}  // namespace

TVoiceEngine::TVoiceEngine() : current(TKitSounds::Synthesized().release()) { ApplyKit(TKit::Default()); }

TVoiceEngine::~TVoiceEngine() {
  delete offered.exchange(nullptr);
  delete retired.exchange(nullptr);
  delete previous;
  delete current;
}

float TVoiceEngine::VelocityGain(int velocity) { return kVelocity.gain[std::clamp(velocity, 0, 127)]; }

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

// ---- kits ------------------------------------------------------------------

void TVoiceEngine::OfferKit(std::unique_ptr<TKitSounds> kit) {
  delete offered.exchange(kit.release(), std::memory_order_acq_rel);
  CollectRetired();
}

void TVoiceEngine::CollectRetired() { delete retired.exchange(nullptr, std::memory_order_acq_rel); }

// At most one old kit fades at a time; a newer offer waits the 2 ms until it is gone.
void TVoiceEngine::TakeOfferedKit() {
  if (previous) {
    bool playing = false;
    for (const TVoice& v : voices) playing |= v.active && v.kit == previous;
    if (playing) return;
    TKitSounds* expected = nullptr;
    if (!retired.compare_exchange_strong(expected, previous, std::memory_order_acq_rel)) return;
    previous = nullptr;
  }
  TKitSounds* next = offered.exchange(nullptr, std::memory_order_acq_rel);
  if (!next) return;
  previous = current;
  current = next;
  for (TVoice& v : voices)
    if (v.active) FadeOut(v, kitSwapSeconds);
  std::fill(std::begin(hits), std::end(hits), 0u);
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

void TVoiceEngine::FadeOut(TVoice& v, double seconds) {
  const float step = static_cast<float>(1.0 / (seconds * sampleRate.load(std::memory_order_relaxed)));
  v.releasing = true;
  v.fadeStep = v.fadeStep > 0 ? std::max(v.fadeStep, step) : step;
}

// A free slot for a new note. With 64 notes sounding, the longest-playing one
// fades out to make room; with every slot busy, the quietest fading voice ends.
TVoiceEngine::TVoice& TVoiceEngine::FreeVoice() {
  int sounding = 0;
  TVoice* oldest = nullptr;
  for (TVoice& v : voices) {
    if (!v.active || v.releasing) continue;
    ++sounding;
    if (!oldest || v.order - nextOrder < oldest->order - nextOrder) oldest = &v;
  }
  if (sounding >= voiceCount && oldest) FadeOut(*oldest, stealSeconds);
  TVoice* quietest = nullptr;
  for (TVoice& v : voices) {
    if (!v.active) return v;
    if (v.releasing && (!quietest || v.fade < quietest->fade)) quietest = &v;
  }
  return quietest ? *quietest : *oldest;
}

void TVoiceEngine::NoteOn(int cell, int velocity) {
  const TCellLive& l = live[cell];
  const float rate = sampleRate.load(std::memory_order_relaxed);
  const int group = l.chokeGroup.load(std::memory_order_relaxed);
  if (group > 0) {
    for (TVoice& v : voices) {
      if (v.active && v.cell != cell && live[v.cell].chokeGroup.load(std::memory_order_relaxed) == group)
        FadeOut(v, chokeSeconds);
    }
  }

  const TCellSounds& sounds = current->cells[cell];
  if (sounds.groups.empty()) return;
  const std::vector<TLayer>& layers = sounds.groups[sounds.groupOfVelocity[velocity]];
  if (layers.empty()) return;
  const uint32_t hit = hits[cell]++;
  const TLayer& layer = layers[hit % layers.size()];
  const TSample& sample = *layer.sample;
  const uint32_t random = Mix(static_cast<uint32_t>(cell) * 0x9E3779B9u + hit);
  const double cents = kVariationCents * Uniform(random & 0xFFFF0000u);
  const double db = kVariationDb * Uniform(random << 16);

  TVoice& v = FreeVoice();
  v.active = true;
  v.releasing = false;
  v.cell = cell;
  v.pair = std::clamp(l.outputPair.load(std::memory_order_relaxed), 0, outputCount / 2 - 1);
  v.order = nextOrder++;
  v.kit = current;
  v.data = sample.Data();
  v.channels = sample.channels;
  v.length = sample.Length();
  v.pos = 0;
  const double tune = l.tune.load(std::memory_order_relaxed) + cents / 100.0;
  v.step = std::exp2(tune / 12.0) * sample.rate / rate;
  v.gain = VelocityGain(velocity) * layer.gain * sounds.gain * static_cast<float>(std::pow(10.0, db / 20.0));
  const float pan = std::clamp(l.pan.load(std::memory_order_relaxed) + sounds.pan, -1.0f, 1.0f);
  if (v.channels == 2) {  // a stereo sound keeps its image: the pan is a balance
    v.panLeft = std::min(1.0f, 1.0f - pan);
    v.panRight = std::min(1.0f, 1.0f + pan);
  } else {
    const float angle = (pan + 1.0f) * (kPi / 4);
    v.panLeft = std::cos(angle);
    v.panRight = std::sin(angle);
  }
  v.env = 1.0f;
  v.fade = 1.0f;
  v.fadeStep = 0.0f;
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
  for (TVoice& v : voices)
    if (v.active) FadeOut(v, chokeSeconds);
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

template <int channels>
void TVoiceEngine::RenderVoice(TVoice& v, float* left, float* right, int32_t from, int32_t to, float masterLevel) {
  const float gain = v.gain * live[v.cell].level.load(std::memory_order_relaxed) * masterLevel;
  const float gainLeft = gain * v.panLeft, gainRight = gain * v.panRight;
  const float* data = v.data;
  double pos = v.pos;
  float env = v.env, fade = v.fade;
  const float envFactor = v.envFactor, fadeStep = v.fadeStep;
  for (int32_t i = from; i < to; ++i) {
    const int32_t index = static_cast<int32_t>(pos);
    if (index >= v.length || env < kSilence || fade <= 0.0f) {
      v.active = false;
      break;
    }
    const float frac = static_cast<float>(pos - index);
    const float* at = data + static_cast<ptrdiff_t>(index) * channels;
    const float level = env * fade;
    const float l = (at[0] + frac * (at[channels] - at[0])) * level;
    const float r = channels == 2 ? (at[1] + frac * (at[channels + 1] - at[1])) * level : l;
    if (left) left[i] += l * gainLeft;
    if (right) right[i] += r * gainRight;
    pos += v.step;
    env *= envFactor;
    fade -= fadeStep;
  }
  v.pos = pos;
  v.env = env;
  v.fade = fade;
}

void TVoiceEngine::Render(float** outputs, int32_t from, int32_t to) {
  const float masterLevel = Master();
  for (TVoice& v : voices) {
    if (!v.active) continue;
    float* left = outputs[2 * v.pair];
    float* right = outputs[2 * v.pair + 1];
    if (v.channels == 2) {
      RenderVoice<2>(v, left, right, from, to, masterLevel);
    } else {
      RenderVoice<1>(v, left, right, from, to, masterLevel);
    }
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
    std::fill(std::begin(hits), std::end(hits), 0u);
  }
  TakeOfferedKit();
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
