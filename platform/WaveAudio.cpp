#include "platform/WaveAudio.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Mp3Codec.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kPeriodMs = 20;
constexpr unsigned kBufferMs = 400;
// How far a device without a clock may run ahead of real time when playing, like a sound card's
// own buffer.
constexpr unsigned kPacedLeadMs = 100;

void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(SilentAlsaError); });
}

std::string EnvPcm(bool capture) {
  const char* specific = std::getenv(capture ? "TALVO_ALSA_PCM_IN" : "TALVO_ALSA_PCM_OUT");
  if (specific && *specific) return specific;
  const char* both = std::getenv("TALVO_ALSA_PCM");
  if (both && *both) return both;
  return {};
}

// Opens a PCM by name, or from a definition in braces (see the header).
int OpenPcm(const std::string& name, bool capture, snd_pcm_t** pcm) {
  const snd_pcm_stream_t stream = capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
  const std::size_t first = name.find_first_not_of(" \t\r\n");
  if (first == std::string::npos || name[first] != '{')
    return snd_pcm_open(pcm, name.c_str(), stream, SND_PCM_NONBLOCK);
  const std::string text = "pcm.talvo_device " + name.substr(first) + "\n";
  snd_config_t* config = nullptr;
  int err = snd_config_top(&config);
  if (err < 0) return err;
  snd_input_t* input = nullptr;
  err = snd_input_buffer_open(&input, text.data(), static_cast<ssize_t>(text.size()));
  if (err >= 0) {
    err = snd_config_load(config, input);
    snd_input_close(input);
  }
  if (err >= 0) err = snd_pcm_open_lconf(pcm, "talvo_device", stream, SND_PCM_NONBLOCK, config);
  snd_config_delete(config);
  return err;
}

MMRESULT OpenError(int err) {
  switch (-err) {
    case EBUSY:
    case EAGAIN:
      return MMSYSERR_ALLOCATED;
    case ENOMEM:
      return MMSYSERR_NOMEM;
    case EACCES:
    case EPERM:
      return MMSYSERR_NODRIVER;
    default:
      return MMSYSERR_BADDEVICEID;
  }
}

// A device without a clock of its own: nothing below it is a sound card or a sound server.
bool NeedsPacing(snd_pcm_t* pcm) {
  const snd_pcm_type_t type = snd_pcm_type(pcm);
  if (type == SND_PCM_TYPE_IOPLUG || type == SND_PCM_TYPE_EXTPLUG) return false;
  snd_pcm_info_t* info;
  snd_pcm_info_alloca(&info);
  if (snd_pcm_info(pcm, info) < 0) return true;
  return snd_pcm_info_get_card(info) < 0;
}

struct PcmShape {
  snd_pcm_format_t format;
  unsigned rate, channels, frameBytes;
};

MMRESULT Configure(snd_pcm_t* pcm, const PcmShape& shape, bool capture, snd_pcm_uframes_t* period,
                   snd_pcm_uframes_t* buffer) {
  snd_pcm_hw_params_t* hw;
  snd_pcm_hw_params_alloca(&hw);
  if (snd_pcm_hw_params_any(pcm, hw) < 0) return MMSYSERR_NODRIVER;
  snd_pcm_hw_params_set_rate_resample(pcm, hw, 1);
  if (snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
      snd_pcm_hw_params_set_format(pcm, hw, shape.format) < 0 ||
      snd_pcm_hw_params_set_channels(pcm, hw, shape.channels) < 0 ||
      snd_pcm_hw_params_set_rate(pcm, hw, shape.rate, 0) < 0)
    return WAVERR_BADFORMAT;
  unsigned periodUs = kPeriodMs * 1000, bufferUs = kBufferMs * 1000;
  snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodUs, nullptr);
  snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferUs, nullptr);
  int err = snd_pcm_hw_params(pcm, hw);
  if (err < 0) return err == -EBUSY ? MMSYSERR_ALLOCATED : WAVERR_BADFORMAT;
  snd_pcm_uframes_t size = 0;
  snd_pcm_hw_params_get_period_size(hw, &size, nullptr);
  *period = size ? size : shape.rate * kPeriodMs / 1000;
  size = 0;
  snd_pcm_hw_params_get_buffer_size(hw, &size);
  *buffer = std::max(size ? size : shape.rate * kBufferMs / 1000, *period);

  snd_pcm_sw_params_t* sw;
  snd_pcm_sw_params_alloca(&sw);
  if (snd_pcm_sw_params_current(pcm, sw) >= 0) {
    // Playback starts with the first period written; the worker starts it itself when less
    // than that is queued, so that a short tail is played too.
    snd_pcm_sw_params_set_start_threshold(pcm, sw, capture ? 1 : *period);
    snd_pcm_sw_params_set_avail_min(pcm, sw, *period);
    snd_pcm_sw_params(pcm, sw);
  }
  return MMSYSERR_NOERROR;
}

class WaveDevice {
 public:
  WaveDevice(bool capture, HWND window, std::uintptr_t handle, snd_pcm_t* pcm,
             const PcmShape& shape, snd_pcm_uframes_t period, snd_pcm_uframes_t buffer,
             std::unique_ptr<Mp3Decoder> decoder)
      : capture_(capture),
        window_(window),
        handle_(handle),
        pcm_(pcm),
        shape_(shape),
        period_(period),
        maxRead_(std::max(buffer / 2, period)),
        paced_(NeedsPacing(pcm)),
        decoder_(std::move(decoder)),
        wake_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

  ~WaveDevice() {
    Shutdown();
    if (pcm_) snd_pcm_close(pcm_);
    if (wake_ >= 0) close(wake_);
  }

  bool Start() {
    if (wake_ < 0) return false;
    worker_ = std::thread([this] { capture_ ? CaptureLoop() : PlaybackLoop(); });
    return true;
  }

  void Shutdown() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    Wake();
    if (worker_.joinable()) worker_.join();
  }

  MMRESULT Prepare(WAVEHDR* h) {
    std::lock_guard lock(mutex_);
    if (h->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    h->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
  }

  MMRESULT Unprepare(WAVEHDR* h) {
    std::lock_guard lock(mutex_);
    if (h->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    h->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
  }

  MMRESULT Queue(WAVEHDR* h) {
    {
      std::lock_guard lock(mutex_);
      if (!(h->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
      if (h->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
      if (capture_ && h->dwBufferLength < shape_.frameBytes) return MMSYSERR_INVALPARAM;
      h->dwFlags = (h->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
      h->lpNext = nullptr;
      if (capture_) h->dwBytesRecorded = 0;
      queue_.push_back(h);
    }
    // A capture fills whatever is queued when its next period comes, on its own clock: waking
    // it for each buffer would cost a wake-up per block (125 a second with 8 ms blocks).
    if (!capture_) Wake();
    return MMSYSERR_NOERROR;
  }

  void SetRunning(bool running) {
    {
      std::lock_guard lock(mutex_);
      running_ = running;
    }
    Wake();
  }

  // Capture: stop, and hand back the buffer being filled if it holds anything.
  void Stop() {
    std::lock_guard lock(mutex_);
    running_ = false;
    if (!queue_.empty() && queue_.front()->dwBytesRecorded > 0) {
      Complete(queue_.front());
      queue_.pop_front();
    }
    Wake();
  }

  // Returns every buffer; playback also drops what the device still holds before returning.
  void Reset() {
    std::unique_lock lock(mutex_);
    running_ = false;
    for (const auto& f : inflight_) Complete(f.header);
    inflight_.clear();
    for (WAVEHDR* h : queue_) Complete(h);
    queue_.clear();
    pcm_pending_.clear();
    pcm_pos_ = 0;
    if (capture_ || stop_) return;
    ++reset_requests_;
    const std::uint64_t wanted = reset_requests_;
    Wake();
    done_.wait(lock, [&] { return reset_done_ >= wanted || worker_gone_; });
  }

  bool Busy() {
    std::lock_guard lock(mutex_);
    return !queue_.empty() || !inflight_.empty();
  }

 private:
  struct Inflight {
    WAVEHDR* header;
    std::uint64_t end;  // the frame position at which its audio has been played
  };

  enum class WaitResult { Woken, Ready, Timeout };

  void Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(wake_, &one, sizeof one);
  }

  // Waits for a wake-up, for the device (when withDevice) or for the time-out (-1: none).
  WaitResult Wait(int timeoutMs, bool withDevice) {
    pollfd fds[16];
    fds[0] = {wake_, POLLIN, 0};
    int count = 0;
    if (withDevice) {
      count = snd_pcm_poll_descriptors(pcm_, fds + 1, 15);
      if (count < 0) count = 0;
    }
    int rc = poll(fds, static_cast<nfds_t>(count + 1), timeoutMs);
    if (rc <= 0) return WaitResult::Timeout;
    if (fds[0].revents & POLLIN) {
      std::uint64_t value;
      [[maybe_unused]] ssize_t n = read(wake_, &value, sizeof value);
      return WaitResult::Woken;
    }
    unsigned short revents = 0;
    if (count > 0 &&
        snd_pcm_poll_descriptors_revents(pcm_, fds + 1, static_cast<unsigned>(count), &revents) >=
            0 &&
        revents == 0)
      return WaitResult::Timeout;
    return WaitResult::Ready;
  }

  static int MsUntil(Clock::time_point t) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(ms + 1, 1, 1000));
  }

  // Marks a buffer done and tells its owner; the caller holds the lock.
  void Complete(WAVEHDR* h) {
    h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    if (window_)
      MessageWindow::Post(window_, capture_ ? MM_WIM_DATA : MM_WOM_DONE, handle_,
                          reinterpret_cast<LPARAM>(h));
  }

  // ---- capture ----

  void CaptureLoop() {
    std::vector<std::uint8_t> scratch(maxRead_ * shape_.frameBytes);
    bool started = false, broken = false;
    std::uint64_t position = 0;
    snd_pcm_uframes_t availMin = period_;
    Clock::time_point base;
    for (;;) {
      bool running;
      snd_pcm_uframes_t want;
      {
        std::lock_guard lock(mutex_);
        if (stop_) break;
        running = running_;
        want = FramesWanted();
      }
      if (!running || broken) {
        if (started) {
          snd_pcm_drop(pcm_);
          snd_pcm_prepare(pcm_);
          started = false;
        }
        Wait(-1, false);
        continue;
      }
      if (!started) {
        snd_pcm_start(pcm_);
        started = true;
        position = 0;
        base = Clock::now();
      }
      if (paced_) {
        const auto due =
            base + std::chrono::microseconds((position + want) * 1000000 / shape_.rate);
        if (Clock::now() < due) {
          Wait(MsUntil(due), false);
          continue;
        }
      } else {
        if (want != availMin && SetAvailMin(want)) availMin = want;
        if (Wait(1000, true) != WaitResult::Ready) continue;
      }
      // The file plugin leaves the buffer alone once its input file has ended: that is silence.
      std::memset(scratch.data(), 0, want * shape_.frameBytes);
      snd_pcm_sframes_t n = snd_pcm_readi(pcm_, scratch.data(), want);
      if (n == -EAGAIN || n == 0) continue;
      if (n < 0) {
        if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) {
          broken = true;
        } else {
          snd_pcm_start(pcm_);
        }
        continue;
      }
      position += static_cast<std::uint64_t>(n);
      Deliver(scratch.data(), static_cast<std::size_t>(n) * shape_.frameBytes);
    }
  }

  // Capture: the frames that complete the buffer being filled, so that the thread wakes once a
  // buffer rather than once a period; never less than a period (small buffers are filled several
  // at a time) nor more than maxRead_. The caller holds the lock.
  snd_pcm_uframes_t FramesWanted() const {
    if (queue_.empty()) return period_;
    const WAVEHDR* h = queue_.front();
    const std::size_t rest = (h->dwBufferLength - h->dwBytesRecorded) / shape_.frameBytes;
    return std::clamp<snd_pcm_uframes_t>(rest, period_, maxRead_);
  }

  // Capture: the device reports itself ready once frames wait.
  bool SetAvailMin(snd_pcm_uframes_t frames) {
    snd_pcm_sw_params_t* sw;
    snd_pcm_sw_params_alloca(&sw);
    return snd_pcm_sw_params_current(pcm_, sw) >= 0 &&
           snd_pcm_sw_params_set_avail_min(pcm_, sw, frames) >= 0 &&
           snd_pcm_sw_params(pcm_, sw) >= 0;
  }

  // Fills the queued buffers in order; with none queued the audio is lost, as on a sound card.
  void Deliver(const std::uint8_t* data, std::size_t size) {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    while (size > 0 && !queue_.empty()) {
      WAVEHDR* h = queue_.front();
      const std::size_t whole = h->dwBufferLength / shape_.frameBytes * shape_.frameBytes;
      const std::size_t n = std::min(size, whole - h->dwBytesRecorded);
      std::memcpy(h->lpData + h->dwBytesRecorded, data, n);
      h->dwBytesRecorded += static_cast<std::uint32_t>(n);
      data += n;
      size -= n;
      if (h->dwBytesRecorded >= whole) {
        Complete(h);
        queue_.pop_front();
      }
    }
  }

  // ---- playback ----

  // Frames that have left the device.
  std::uint64_t Played() {
    if (paced_) {
      const auto elapsed =
          std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - clock_base_);
      const std::uint64_t frames =
          clock_base_frames_ + static_cast<std::uint64_t>(elapsed.count()) * shape_.rate / 1000000;
      return std::min(frames, written_);
    }
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_state(pcm_) != SND_PCM_STATE_RUNNING || snd_pcm_delay(pcm_, &delay) < 0)
      return written_;
    const std::uint64_t d = static_cast<std::uint64_t>(std::max<snd_pcm_sframes_t>(delay, 0));
    return d >= written_ ? 0 : written_ - d;
  }

  void PlaybackLoop() {
    std::vector<std::uint8_t> chunk;
    bool broken = false;
    for (;;) {
      std::uint64_t generation;
      Clock::time_point nextDone{};
      bool haveInflight;
      {
        std::unique_lock lock(mutex_);
        if (stop_) break;
        if (reset_done_ < reset_requests_) {
          snd_pcm_drop(pcm_);
          snd_pcm_prepare(pcm_);
          if (decoder_) decoder_->Restart();
          written_ = taken_ = 0;
          clock_base_ = Clock::now();
          clock_base_frames_ = 0;
          reset_done_ = reset_requests_;
          done_.notify_all();
        }
        const std::uint64_t played = broken ? written_ : Played();
        while (!inflight_.empty() && (inflight_.front().end <= played || broken)) {
          Complete(inflight_.front().header);
          inflight_.pop_front();
        }
        if (broken) {
          for (WAVEHDR* h : queue_) Complete(h);
          queue_.clear();
          pcm_pending_.clear();
          pcm_pos_ = 0;
        }
        if (pcm_pos_ == pcm_pending_.size() && !queue_.empty()) {
          WAVEHDR* h = queue_.front();
          queue_.pop_front();
          pcm_pending_.clear();
          pcm_pos_ = 0;
          if (decoder_) {
            decoder_->Decode(reinterpret_cast<const std::uint8_t*>(h->lpData), h->dwBufferLength,
                             pcm_pending_);
          } else {
            const std::size_t whole = h->dwBufferLength / shape_.frameBytes * shape_.frameBytes;
            pcm_pending_.assign(h->lpData, h->lpData + whole);
          }
          taken_ += pcm_pending_.size() / shape_.frameBytes;
          inflight_.push_back({h, taken_});
        }
        chunk.clear();
        if (pcm_pos_ < pcm_pending_.size()) {
          const std::size_t n =
              std::min<std::size_t>(pcm_pending_.size() - pcm_pos_, period_ * shape_.frameBytes);
          chunk.assign(pcm_pending_.begin() + static_cast<std::ptrdiff_t>(pcm_pos_),
                       pcm_pending_.begin() + static_cast<std::ptrdiff_t>(pcm_pos_ + n));
        }
        generation = reset_requests_;
        haveInflight = !inflight_.empty();
        if (haveInflight) {
          const std::uint64_t ahead =
              inflight_.front().end - std::min(inflight_.front().end, played);
          nextDone = Clock::now() + std::chrono::microseconds(ahead * 1000000 / shape_.rate);
        }
      }
      if (chunk.empty()) {
        if (!haveInflight) {
          Wait(-1, false);
        } else {
          if (!paced_) StartIfPrepared();
          Wait(std::min(MsUntil(nextDone), 50), false);
        }
        continue;
      }
      const snd_pcm_uframes_t frames = chunk.size() / shape_.frameBytes;
      if (paced_) {
        std::uint64_t played;
        {
          std::lock_guard lock(mutex_);
          played = Played();
          // A device that ran dry idles; its clock starts again with the next audio.
          if (played >= written_) {
            clock_base_ = Clock::now();
            clock_base_frames_ = written_;
            played = written_;
          }
        }
        const std::uint64_t lead = static_cast<std::uint64_t>(shape_.rate) * kPacedLeadMs / 1000;
        if (written_ + frames > played + lead + period_) {
          const std::uint64_t wait = written_ + frames - played - lead;
          Wait(std::max(1, static_cast<int>(wait * 1000 / shape_.rate)), false);
          continue;
        }
      } else if (Wait(100, true) != WaitResult::Ready) {
        continue;
      }
      snd_pcm_sframes_t n = snd_pcm_writei(pcm_, chunk.data(), frames);
      if (n == -EAGAIN || n == 0) continue;
      if (n < 0) {
        // An underrun: the device ran dry and starts again with this audio.
        if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) broken = true;
        continue;
      }
      {
        std::lock_guard lock(mutex_);
        // A reset during the write: the device drops it at the top of the loop.
        if (generation == reset_requests_) {
          pcm_pos_ += static_cast<std::size_t>(n) * shape_.frameBytes;
          written_ += static_cast<std::uint64_t>(n);
        }
      }
      if (!paced_) StartIfPrepared();
    }
    std::lock_guard lock(mutex_);
    worker_gone_ = true;
    done_.notify_all();
  }

  void StartIfPrepared() {
    if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED && written_ > 0) snd_pcm_start(pcm_);
  }

  const bool capture_;
  const HWND window_;
  const std::uintptr_t handle_;
  snd_pcm_t* pcm_;
  const PcmShape shape_;
  const snd_pcm_uframes_t period_;
  const snd_pcm_uframes_t maxRead_;  // capture: the most frames read at once, half the buffer
  const bool paced_;
  std::unique_ptr<Mp3Decoder> decoder_;
  const int wake_;
  std::thread worker_;

  std::mutex mutex_;
  std::condition_variable done_;
  std::deque<WAVEHDR*> queue_;
  bool running_ = false;
  bool stop_ = false;
  bool worker_gone_ = false;
  std::uint64_t reset_requests_ = 0, reset_done_ = 0;

  // Playback: the block being played as PCM, blocks whose audio is with the device, positions.
  std::vector<std::uint8_t> pcm_pending_;
  std::size_t pcm_pos_ = 0;
  std::deque<Inflight> inflight_;
  std::uint64_t taken_ = 0, written_ = 0;
  Clock::time_point clock_base_ = Clock::now();
  std::uint64_t clock_base_frames_ = 0;
};

std::mutex g_registryMutex;
std::map<std::uintptr_t, std::shared_ptr<WaveDevice>> g_devices[2];  // [capture]
std::atomic<std::uintptr_t> g_nextHandle{0x7000};

std::shared_ptr<WaveDevice> Find(std::uintptr_t handle, bool capture) {
  std::lock_guard lock(g_registryMutex);
  auto& map = g_devices[capture];
  auto it = map.find(handle);
  return it == map.end() ? nullptr : it->second;
}

MMRESULT ShapeOf(const WAVEFORMATEX& f, bool capture, PcmShape* shape, bool* mp3) {
  *mp3 = false;
  if (f.wFormatTag == WAVE_FORMAT_PCM) {
    switch (f.wBitsPerSample) {
      case 8:
        shape->format = SND_PCM_FORMAT_U8;
        break;
      case 16:
        shape->format = SND_PCM_FORMAT_S16_LE;
        break;
      case 24:
        shape->format = SND_PCM_FORMAT_S24_3LE;
        break;
      case 32:
        shape->format = SND_PCM_FORMAT_S32_LE;
        break;
      default:
        return WAVERR_BADFORMAT;
    }
    if (f.nChannels < 1 || f.nChannels > 8 || f.nSamplesPerSec == 0 ||
        f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8 ||
        f.nAvgBytesPerSec != f.nSamplesPerSec * f.nBlockAlign)
      return WAVERR_BADFORMAT;
    shape->rate = f.nSamplesPerSec;
    shape->channels = f.nChannels;
    shape->frameBytes = f.nBlockAlign;
    return MMSYSERR_NOERROR;
  }
  if (f.wFormatTag == WAVE_FORMAT_MPEGLAYER3 && !capture && f.nChannels >= 1 && f.nChannels <= 2 &&
      Mp3FrameSamples(f.nSamplesPerSec) != 0) {
    *mp3 = true;
    shape->format = SND_PCM_FORMAT_S16_LE;
    shape->rate = f.nSamplesPerSec;
    shape->channels = f.nChannels;
    shape->frameBytes = 2u * f.nChannels;
    return MMSYSERR_NOERROR;
  }
  return WAVERR_BADFORMAT;
}

MMRESULT Open(bool capture, std::uintptr_t* handle, std::uint32_t deviceId,
              const WAVEFORMATEX* pwfx, std::uintptr_t callback, std::uint32_t flags) {
  constexpr std::uint32_t known = WAVE_FORMAT_QUERY | WAVE_MAPPED | CALLBACK_WINDOW;
  if (flags & ~known) return MMSYSERR_INVALFLAG;
  if (!pwfx || (!handle && !(flags & WAVE_FORMAT_QUERY))) return MMSYSERR_INVALPARAM;
  if ((flags & CALLBACK_WINDOW) && callback == 0) return MMSYSERR_INVALPARAM;
  WAVEFORMATEX format;
  std::memcpy(&format, pwfx, sizeof format);
  PcmShape shape;
  bool mp3;
  if (MMRESULT rc = ShapeOf(format, capture, &shape, &mp3)) return rc;
  std::unique_ptr<Mp3Decoder> decoder;
  if (mp3) {
    decoder = Mp3Decoder::Create(shape.rate, shape.channels);
    if (!decoder) return WAVERR_BADFORMAT;
  }

  SilenceAlsa();
  const std::string name = WaveDevicePcm(deviceId, capture, (flags & WAVE_MAPPED) != 0);
  if (name.empty()) return MMSYSERR_BADDEVICEID;
  snd_pcm_t* pcm = nullptr;
  int err = OpenPcm(name, capture, &pcm);
  if (err < 0) return OpenError(err);
  snd_pcm_uframes_t period = 0, buffer = 0;
  MMRESULT rc = Configure(pcm, shape, capture, &period, &buffer);
  if (rc != MMSYSERR_NOERROR || (flags & WAVE_FORMAT_QUERY)) {
    snd_pcm_close(pcm);
    return rc;
  }
  const std::uintptr_t h = g_nextHandle++;
  auto device = std::make_shared<WaveDevice>(capture, (flags & CALLBACK_WINDOW) ? callback : 0, h,
                                             pcm, shape, period, buffer, std::move(decoder));
  if (!device->Start()) return MMSYSERR_NOMEM;
  {
    std::lock_guard lock(g_registryMutex);
    g_devices[capture][h] = device;
  }
  *handle = h;
  return MMSYSERR_NOERROR;
}

MMRESULT CheckHeader(const WAVEHDR* pwh, std::uint32_t cbwh) {
  if (!pwh || cbwh < sizeof(WAVEHDR) || !pwh->lpData) return MMSYSERR_INVALPARAM;
  return MMSYSERR_NOERROR;
}

template <typename F>
MMRESULT WithDevice(std::uintptr_t handle, bool capture, F f) {
  auto device = Find(handle, capture);
  if (!device) return MMSYSERR_INVALHANDLE;
  return f(*device);
}

MMRESULT Close(std::uintptr_t handle, bool capture) {
  std::shared_ptr<WaveDevice> device;
  {
    std::lock_guard lock(g_registryMutex);
    auto& map = g_devices[capture];
    auto it = map.find(handle);
    if (it == map.end()) return MMSYSERR_INVALHANDLE;
    if (it->second->Busy()) return WAVERR_STILLPLAYING;
    device = it->second;
    map.erase(it);
  }
  device->Shutdown();
  return MMSYSERR_NOERROR;
}

std::uint32_t CountCards() {
  SilenceAlsa();
  std::uint32_t count = 0;
  int card = -1;
  while (snd_card_next(&card) == 0 && card >= 0) ++count;
  return count;
}

}  // namespace

std::vector<std::string> SoundCardNames() {
  SilenceAlsa();
  std::vector<std::string> names;
  int card = -1;
  while (snd_card_next(&card) == 0 && card >= 0) {
    char* name = nullptr;
    if (snd_card_get_name(card, &name) == 0 && name != nullptr) {
      names.emplace_back(name);
      std::free(name);
    } else {
      names.push_back("hw:" + std::to_string(card));
    }
  }
  return names;
}

std::string WaveDevicePcm(std::uint32_t uDeviceID, bool capture, bool mapped) {
  if (uDeviceID == WAVE_MAPPER) {
    std::string env = EnvPcm(capture);
    return env.empty() ? "default" : env;
  }
  SilenceAlsa();
  std::uint32_t index = 0;
  int card = -1;
  while (snd_card_next(&card) == 0 && card >= 0) {
    if (index++ == uDeviceID) return (mapped ? "plughw:" : "hw:") + std::to_string(card);
  }
  return {};
}

MMRESULT waveInOpen(HWAVEIN* phwi, std::uint32_t uDeviceID, const WAVEFORMATEX* pwfx,
                    std::uintptr_t dwCallback, std::uintptr_t, std::uint32_t fdwOpen) {
  return Open(true, phwi, uDeviceID, pwfx, dwCallback, fdwOpen);
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, std::uint32_t cbwh) {
  return WithDevice(hwi, true, [&](WaveDevice& d) {
    if (MMRESULT rc = CheckHeader(pwh, cbwh)) return rc;
    return d.Prepare(pwh);
  });
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, std::uint32_t cbwh) {
  return WithDevice(hwi, true, [&](WaveDevice& d) {
    if (MMRESULT rc = CheckHeader(pwh, cbwh)) return rc;
    return d.Unprepare(pwh);
  });
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, std::uint32_t cbwh) {
  return WithDevice(hwi, true, [&](WaveDevice& d) {
    if (MMRESULT rc = CheckHeader(pwh, cbwh)) return rc;
    return d.Queue(pwh);
  });
}

MMRESULT waveInStart(HWAVEIN hwi) {
  return WithDevice(hwi, true, [](WaveDevice& d) {
    d.SetRunning(true);
    return MMSYSERR_NOERROR;
  });
}

MMRESULT waveInStop(HWAVEIN hwi) {
  return WithDevice(hwi, true, [](WaveDevice& d) {
    d.Stop();
    return MMSYSERR_NOERROR;
  });
}

MMRESULT waveInReset(HWAVEIN hwi) {
  return WithDevice(hwi, true, [](WaveDevice& d) {
    d.Reset();
    return MMSYSERR_NOERROR;
  });
}

MMRESULT waveInClose(HWAVEIN hwi) {
  return Close(hwi, true);
}

MMRESULT waveOutOpen(HWAVEOUT* phwo, std::uint32_t uDeviceID, const WAVEFORMATEX* pwfx,
                     std::uintptr_t dwCallback, std::uintptr_t, std::uint32_t fdwOpen) {
  return Open(false, phwo, uDeviceID, pwfx, dwCallback, fdwOpen);
}

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, std::uint32_t cbwh) {
  return WithDevice(hwo, false, [&](WaveDevice& d) {
    if (MMRESULT rc = CheckHeader(pwh, cbwh)) return rc;
    return d.Prepare(pwh);
  });
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, std::uint32_t cbwh) {
  return WithDevice(hwo, false, [&](WaveDevice& d) {
    if (MMRESULT rc = CheckHeader(pwh, cbwh)) return rc;
    return d.Unprepare(pwh);
  });
}

MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR* pwh, std::uint32_t cbwh) {
  return WithDevice(hwo, false, [&](WaveDevice& d) {
    if (MMRESULT rc = CheckHeader(pwh, cbwh)) return rc;
    return d.Queue(pwh);
  });
}

MMRESULT waveOutReset(HWAVEOUT hwo) {
  return WithDevice(hwo, false, [](WaveDevice& d) {
    d.Reset();
    return MMSYSERR_NOERROR;
  });
}

MMRESULT waveOutClose(HWAVEOUT hwo) {
  return Close(hwo, false);
}

std::uint32_t waveInGetNumDevs() {
  return CountCards();
}
std::uint32_t waveOutGetNumDevs() {
  return CountCards();
}

}  // namespace platform
