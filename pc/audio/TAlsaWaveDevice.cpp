#include "TAlsaWaveDevice.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "AlsaPcmList.h"
#include "foundation/IThreadScheduler.h"

namespace {
constexpr snd_pcm_uframes_t wantedPeriodFrames = 256;
constexpr snd_pcm_uframes_t wantedPeriods = 8;
constexpr int idleWaitMilliseconds = 50;
// A running PCM whose position has not moved for this long is gone.
constexpr auto minimumStall = std::chrono::milliseconds(1000);

int MillisecondsFor(uint64_t frames) {
  return static_cast<int>((frames * 1000 + TWaveFormat::rate - 1) / TWaveFormat::rate);
}

EWaveOpenResult OpenResultOf(int error) {
  switch (error) {
    case -EBUSY:
    case -EAGAIN: return EWaveOpenResult::InUse;
    case -ENOENT:
    case -ENODEV:
    case -ENXIO: return EWaveOpenResult::Missing;
    default: return EWaveOpenResult::Failed;
  }
}

void RaiseThisThread() {
  for (EThreadPriority priority :
       {EThreadPriority::TimeCritical, EThreadPriority::Highest, EThreadPriority::AboveNormal})
    if (GetThreadScheduler().SetCurrentThreadPriority(priority)) return;
}
}  // namespace

std::unique_ptr<IWaveDevice> TAlsaWaveDevice::Open(EWaveDirection direction, const std::string& name,
                                                   IWaveNotify& notify, EWaveOpenResult& result) {
  PrepareAlsa();
  snd_pcm_t* pcm = nullptr;
  const snd_pcm_stream_t stream =
      direction == EWaveDirection::Output ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE;
  const int opened = snd_pcm_open(&pcm, name.c_str(), stream, SND_PCM_NONBLOCK);
  if (opened < 0) {
    result = OpenResultOf(opened);
    return nullptr;
  }
  std::unique_ptr<TAlsaWaveDevice> device(new TAlsaWaveDevice(direction, pcm, notify));
  if (!device->Configure()) {
    result = EWaveOpenResult::Unsupported;
    return nullptr;
  }
  try {
    device->thread = std::thread([raw = device.get()] { raw->Run(); });
  } catch (const std::system_error&) {
    result = EWaveOpenResult::Failed;
    return nullptr;
  }
  result = EWaveOpenResult::Opened;
  return device;
}

TAlsaWaveDevice::TAlsaWaveDevice(EWaveDirection direction, snd_pcm_t* pcm, IWaveNotify& notify)
    : direction(direction), pcm(pcm), notify(notify) {}

TAlsaWaveDevice::~TAlsaWaveDevice() {
  if (thread.joinable()) {
    Command(ECommand::Close);
    thread.join();
  }
  snd_pcm_close(pcm);
  if (wakeFd >= 0) ::close(wakeFd);
}

bool TAlsaWaveDevice::Configure() {
  wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd < 0) return false;
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_sw_params_t* sw = nullptr;
  if (snd_pcm_hw_params_malloc(&hw) < 0 || snd_pcm_sw_params_malloc(&sw) < 0) {
    if (hw) snd_pcm_hw_params_free(hw);
    return false;
  }
  periodFrames = wantedPeriodFrames;
  int direction = 0;
  bool ok = snd_pcm_hw_params_any(pcm, hw) >= 0 &&
            snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) == 0 &&
            snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE) == 0 &&
            snd_pcm_hw_params_set_channels(pcm, hw, TWaveFormat::channels) == 0 &&
            snd_pcm_hw_params_set_rate(pcm, hw, TWaveFormat::rate, 0) == 0;
  if (ok) {
    snd_pcm_hw_params_set_period_size_near(pcm, hw, &periodFrames, &direction);
    bufferFrames = periodFrames * wantedPeriods;
    snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &bufferFrames);
    ok = snd_pcm_hw_params(pcm, hw) == 0;
  }
  if (ok) {
    snd_pcm_hw_params_get_period_size(hw, &periodFrames, &direction);
    snd_pcm_hw_params_get_buffer_size(hw, &bufferFrames);
    snd_pcm_uframes_t boundary = 0;
    // The device thread starts the PCM itself, when enough is written or recording is asked for.
    ok = snd_pcm_sw_params_current(pcm, sw) == 0 && snd_pcm_sw_params_get_boundary(sw, &boundary) == 0 &&
         snd_pcm_sw_params_set_avail_min(pcm, sw, periodFrames) == 0 &&
         snd_pcm_sw_params_set_start_threshold(pcm, sw, boundary) == 0 &&
         snd_pcm_sw_params_set_stop_threshold(pcm, sw, bufferFrames) == 0 && snd_pcm_sw_params(pcm, sw) == 0;
  }
  snd_pcm_hw_params_free(hw);
  snd_pcm_sw_params_free(sw);
  return ok && periodFrames > 0 && bufferFrames > 0;
}

// ---- The main thread's side -------------------------------------------------------

bool TAlsaWaveDevice::Prepare(TWaveHeader& header) {
  if (!header.data || header.bufferBytes == 0 || header.bufferBytes % TWaveFormat::bytesPerFrame != 0) return false;
  header.flags.store(TWaveHeader::Prepared | TWaveHeader::Done, std::memory_order_release);
  return true;
}

void TAlsaWaveDevice::Unprepare(TWaveHeader& header) {
  if (header.IsDone()) header.flags.fetch_and(~TWaveHeader::Prepared, std::memory_order_acq_rel);
}

bool TAlsaWaveDevice::Queue(TWaveHeader& header) {
  const uint32_t flags = header.flags.load(std::memory_order_acquire);
  if (!(flags & TWaveHeader::Prepared) || (flags & TWaveHeader::Queued)) return false;
  header.recordedBytes = 0;
  header.flags.store(TWaveHeader::Prepared | TWaveHeader::Queued, std::memory_order_release);
  if (!incoming.TryPush(&header)) {
    header.flags.store(flags, std::memory_order_release);
    return false;
  }
  Wake();
  return true;
}

TWaveCounters TAlsaWaveDevice::GetCounters() {
  return {underruns.load(std::memory_order_relaxed), overruns.load(std::memory_order_relaxed)};
}

void TAlsaWaveDevice::Wake() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakeFd, &one, sizeof one);
}

void TAlsaWaveDevice::Command(ECommand command) {
  std::unique_lock<std::mutex> hold(commandLock);
  pending.store(command, std::memory_order_release);
  Wake();
  commandDone.wait(hold, [this] { return pending.load(std::memory_order_acquire) == ECommand::None; });
}

// ---- The device thread ------------------------------------------------------------

void TAlsaWaveDevice::Run() {
  RaiseThisThread();
  lastProgress = TClock::now();
  while (!TakeCommand()) {
    if (lost.load(std::memory_order_relaxed))
      ServeLost();
    else if (direction == EWaveDirection::Output)
      ServeOutput();
    else
      ServeInput();
  }
  ReturnAll();
  Notify(EWaveEvent::Closed, nullptr);
}

// Carries out a command that is waiting; true once the device is to close.
bool TAlsaWaveDevice::TakeCommand() {
  const ECommand command = pending.load(std::memory_order_acquire);
  if (command != ECommand::None) {
    Execute(command);
    {
      std::lock_guard<std::mutex> hold(commandLock);
      pending.store(ECommand::None, std::memory_order_release);
    }
    commandDone.notify_all();
  }
  return closing;
}

void TAlsaWaveDevice::Execute(ECommand command) {
  const bool output = direction == EWaveDirection::Output;
  switch (command) {
    case ECommand::Pause:
      paused = true;
      if (output) {
        if (snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING) snd_pcm_pause(pcm, 1);
      } else if (started) {
        started = false;
        snd_pcm_drop(pcm);
        snd_pcm_prepare(pcm);
        if (current) {
          current->recordedBytes = currentBytes;
          Return(current);
          current = nullptr;
        }
      }
      break;
    case ECommand::Start:
      paused = false;
      started = true;
      if (output && snd_pcm_state(pcm) == SND_PCM_STATE_PAUSED) snd_pcm_pause(pcm, 0);
      lastProgress = TClock::now();
      break;
    case ECommand::Reset:
      if (!lost.load(std::memory_order_relaxed)) {
        snd_pcm_drop(pcm);
        snd_pcm_prepare(pcm);
      }
      ReturnAll();
      if (!output) started = false;
      break;
    case ECommand::Close:
      closing = true;
      snd_pcm_drop(pcm);
      ReturnAll();
      break;
    case ECommand::None: break;
  }
}

void TAlsaWaveDevice::Notify(EWaveEvent event, TWaveHeader* header) { notify.OnWaveEvent({event, direction, header}); }

void TAlsaWaveDevice::Return(TWaveHeader* header) {
  header->flags.store(TWaveHeader::Prepared | TWaveHeader::Done, std::memory_order_release);
  Notify(EWaveEvent::BlockDone, header);
}

// Every header the device holds comes back, in the order it was queued.
void TAlsaWaveDevice::ReturnAll() {
  for (; inFlightCount > 0; --inFlightCount) {
    Return(inFlight[inFlightFirst].header);
    inFlightFirst = (inFlightFirst + 1) % ringSize;
  }
  if (current) {
    current->recordedBytes = direction == EWaveDirection::Input ? currentBytes : 0;
    Return(current);
    current = nullptr;
  }
  TWaveHeader* header = nullptr;
  while (incoming.TryPop(header)) Return(header);
  lastPosition = framesWritten;
}

void TAlsaWaveDevice::Fail() {
  if (lost.exchange(true, std::memory_order_acq_rel)) return;
  snd_pcm_drop(pcm);
  ReturnAll();
  Notify(EWaveEvent::Lost, nullptr);
  lostDue = TClock::now();
}

void TAlsaWaveDevice::Recover(int error, bool output) {
  if (error == -EPIPE && !(output && paused)) (output ? underruns : overruns).fetch_add(1, std::memory_order_relaxed);
  if (snd_pcm_recover(pcm, error, 1) < 0) Fail();
}

void TAlsaWaveDevice::WaitForWork(bool pcmReady, int timeoutMilliseconds) {
  pollfd descriptors[16];
  descriptors[0] = {wakeFd, POLLIN, 0};
  int count = 1;
  if (pcmReady) {
    const int more = snd_pcm_poll_descriptors(pcm, descriptors + 1, 15);
    if (more > 0) count += more;
  }
  ::poll(descriptors, static_cast<nfds_t>(count), timeoutMilliseconds);
  if (descriptors[0].revents & POLLIN) {
    uint64_t value = 0;
    [[maybe_unused]] const ssize_t got = ::read(wakeFd, &value, sizeof value);
  }
  if (count > 1) {
    unsigned short events = 0;
    snd_pcm_poll_descriptors_revents(pcm, descriptors + 1, static_cast<unsigned int>(count - 1), &events);
  }
}

// A PCM that runs with frames to move and does not move them is gone.
void TAlsaWaveDevice::WatchProgress(uint64_t position) {
  const TClock::time_point now = TClock::now();
  const bool expecting = snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING &&
                         (direction == EWaveDirection::Input || framesWritten > position);
  if (position != lastPosition || !expecting) {
    lastPosition = position;
    lastProgress = now;
    return;
  }
  const auto limit = std::max<TClock::duration>(minimumStall, std::chrono::milliseconds(4 * MillisecondsFor(bufferFrames)));
  if (now - lastProgress > limit) Fail();
}

// ---- Output -----------------------------------------------------------------------

void TAlsaWaveDevice::ServeOutput() {
  FeedOutput();
  StartOutputWhenFilled();
  CompletePlayed();
  if (lost.load(std::memory_order_relaxed)) return;
  int timeout = idleWaitMilliseconds;
  if (inFlightCount > 0 && snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING) {
    const uint64_t end = inFlight[inFlightFirst].endFrame;
    timeout = std::clamp(MillisecondsFor(end > lastPosition ? end - lastPosition : 0), 2, idleWaitMilliseconds);
  }
  // With a header waiting for room, the PCM wakes the thread when a period is free.
  WaitForWork(current != nullptr, timeout);
}

void TAlsaWaveDevice::FeedOutput() {
  while (!lost.load(std::memory_order_relaxed)) {
    if (!current) {
      if (!incoming.TryPop(current)) {
        current = nullptr;
        return;
      }
      currentBytes = 0;
    }
    if (inFlightCount == ringSize) return;
    // Only what there is room for: a full PCM that has not started yet would keep
    // some plug-ins' write loops spinning.
    const snd_pcm_sframes_t room = snd_pcm_avail(pcm);
    if (room < 0) {
      Recover(static_cast<int>(room), true);
      continue;
    }
    if (room == 0) return;
    const snd_pcm_uframes_t frames = std::min<snd_pcm_uframes_t>(
        (current->bufferBytes - currentBytes) / TWaveFormat::bytesPerFrame, static_cast<snd_pcm_uframes_t>(room));
    const snd_pcm_sframes_t written = snd_pcm_writei(pcm, current->data + currentBytes, frames);
    if (written == -EAGAIN) return;
    if (written < 0) {
      Recover(static_cast<int>(written), true);
      continue;
    }
    currentBytes += static_cast<uint32_t>(written) * TWaveFormat::bytesPerFrame;
    framesWritten += static_cast<uint64_t>(written);
    if (currentBytes >= current->bufferBytes) {
      inFlight[(inFlightFirst + inFlightCount) % ringSize] = {current, framesWritten};
      ++inFlightCount;
      current = nullptr;
    }
  }
}

// A prepared PCM starts once two periods are written, or whatever is written when
// nothing more is queued.
void TAlsaWaveDevice::StartOutputWhenFilled() {
  if (paused || lost.load(std::memory_order_relaxed) || snd_pcm_state(pcm) != SND_PCM_STATE_PREPARED) return;
  const snd_pcm_sframes_t avail = snd_pcm_avail(pcm);
  if (avail < 0) {
    Recover(static_cast<int>(avail), true);
    return;
  }
  const snd_pcm_uframes_t buffered = bufferFrames > static_cast<snd_pcm_uframes_t>(avail) ? bufferFrames - avail : 0;
  const bool nothingMore = current == nullptr && incoming.Front() == nullptr;
  if (buffered == 0 || (buffered < std::min(bufferFrames, 2 * periodFrames) && !nothingMore)) return;
  const int error = snd_pcm_start(pcm);
  if (error < 0) Recover(error, true);
  lastProgress = TClock::now();
}

void TAlsaWaveDevice::CompletePlayed() {
  if (lost.load(std::memory_order_relaxed)) return;
  snd_pcm_sframes_t delay = 0;
  uint64_t position = framesWritten;
  // Some PCMs answer a delay in the stopped state too: their state says whether they ran dry.
  const snd_pcm_sframes_t avail = snd_pcm_avail(pcm);
  const int error = avail < 0 ? static_cast<int>(avail) : snd_pcm_delay(pcm, &delay);
  if (error < 0) {
    // Ran dry (everything written has been played) or failed.
    Recover(error, true);
    if (lost.load(std::memory_order_relaxed)) return;
  } else {
    position -= std::min<uint64_t>(framesWritten, static_cast<uint64_t>(std::max<snd_pcm_sframes_t>(delay, 0)));
  }
  while (inFlightCount > 0 && inFlight[inFlightFirst].endFrame <= position) {
    Return(inFlight[inFlightFirst].header);
    inFlightFirst = (inFlightFirst + 1) % ringSize;
    --inFlightCount;
  }
  WatchProgress(position);
}

// ---- Input ------------------------------------------------------------------------

void TAlsaWaveDevice::ServeInput() {
  if (started && snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED) {
    const int error = snd_pcm_start(pcm);
    if (error < 0) Recover(error, false);
    lastProgress = TClock::now();
  }
  if (started) ReadInput();
  if (lost.load(std::memory_order_relaxed)) return;
  // Without a header to fill, the PCM would wake the thread at once: wait for one.
  WaitForWork(started && current != nullptr, idleWaitMilliseconds);
}

void TAlsaWaveDevice::ReadInput() {
  while (!lost.load(std::memory_order_relaxed)) {
    if (!current) {
      if (!incoming.TryPop(current)) {
        current = nullptr;
        break;
      }
      currentBytes = 0;
    }
    const snd_pcm_uframes_t frames = (current->bufferBytes - currentBytes) / TWaveFormat::bytesPerFrame;
    const snd_pcm_sframes_t got = snd_pcm_readi(pcm, current->data + currentBytes, frames);
    if (got == -EAGAIN) break;
    if (got < 0) {
      Recover(static_cast<int>(got), false);
      if (!lost.load(std::memory_order_relaxed)) snd_pcm_start(pcm);
      continue;
    }
    currentBytes += static_cast<uint32_t>(got) * TWaveFormat::bytesPerFrame;
    framesWritten += static_cast<uint64_t>(got);
    if (currentBytes >= current->bufferBytes) {
      current->recordedBytes = currentBytes;
      Return(current);
      current = nullptr;
    }
  }
  if (lost.load(std::memory_order_relaxed)) return;
  const snd_pcm_sframes_t avail = snd_pcm_avail(pcm);
  WatchProgress(framesWritten + static_cast<uint64_t>(std::max<snd_pcm_sframes_t>(avail, 0)));
}

// ---- A device that went away --------------------------------------------------------
//
// It goes on taking headers and gives them back at the rate they would have played
// or recorded (recordings silent), so the port above runs on in real time.

void TAlsaWaveDevice::ServeLost() {
  const TClock::time_point now = TClock::now();
  if (!current) {
    if (!incoming.TryPop(current)) {
      current = nullptr;
      WaitForWork(false, idleWaitMilliseconds);
      return;
    }
    const auto frames = current->bufferBytes / TWaveFormat::bytesPerFrame;
    lostDue = std::max(now, lostDue) + std::chrono::microseconds(uint64_t(frames) * 1000000 / TWaveFormat::rate);
  }
  if (now >= lostDue) {
    if (direction == EWaveDirection::Input) {
      std::memset(current->data, 0, current->bufferBytes);
      current->recordedBytes = current->bufferBytes;
    }
    Return(current);
    current = nullptr;
    return;
  }
  const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(lostDue - now).count() + 1;
  WaitForWork(false, static_cast<int>(wait));
}
