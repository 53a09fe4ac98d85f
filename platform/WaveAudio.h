#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/MessageWindow.h"
#include "platform/WaveTypes.h"

// Wave-in and wave-out devices over ALSA, with window callbacks: each open device runs a worker
// thread and posts MM_WIM_DATA / MM_WOM_DONE (wParam the device handle, lParam the WAVEHDR*) to
// the callback window, so the owner sees every buffer on its own thread. Device handles are
// never reused, so a message from a device that has since been closed can be told apart.
//
// Devices: WAVE_MAPPER is ALSA's "default" PCM, or the PCM named by the environment variable
// TALVO_ALSA_PCM_IN (capture) / TALVO_ALSA_PCM_OUT (playback) / TALVO_ALSA_PCM (both). The value
// is either a PCM name ("hw:1", "null", ...) or a PCM definition in ALSA's configuration syntax,
// written in braces: { type file slave { pcm { type null } } file "/tmp/out.raw" format raw }.
// Device n is the n-th sound card, through ALSA's plug layer when WAVE_MAPPED is given.
//
// Capture takes PCM; playback takes PCM or MPEG Layer-3, which is decoded here. Devices without a
// clock of their own (the null and file plugins) are paced in real time. Underruns and overruns
// recover quietly; ALSA's own error messages are silenced.

namespace platform {

using HWAVEIN = std::uintptr_t;
using HWAVEOUT = std::uintptr_t;

constexpr std::uint32_t WAVE_MAPPER = 0xFFFFFFFFu;

constexpr std::uint32_t WAVE_FORMAT_QUERY = 0x0001;
constexpr std::uint32_t WAVE_MAPPED = 0x0004;
constexpr std::uint32_t CALLBACK_NULL = 0x00000000;
constexpr std::uint32_t CALLBACK_WINDOW = 0x00010000;

constexpr unsigned MM_WOM_DONE = 0x3BD;
constexpr unsigned MM_WIM_DATA = 0x3C0;

constexpr std::uint32_t WHDR_DONE = 0x01;
constexpr std::uint32_t WHDR_PREPARED = 0x02;
constexpr std::uint32_t WHDR_INQUEUE = 0x10;

// One buffer handed to a device. The device owns it from AddBuffer/Write until its message has
// been posted (WHDR_DONE set, WHDR_INQUEUE clear).
struct WAVEHDR {
  char* lpData;
  std::uint32_t dwBufferLength;
  std::uint32_t dwBytesRecorded;
  std::uintptr_t dwUser;
  std::uint32_t dwFlags;
  std::uint32_t dwLoops;
  WAVEHDR* lpNext;
  std::uintptr_t reserved;
};

// dwCallback is the HWND of a platform::MessageWindow with CALLBACK_WINDOW, else 0.
MMRESULT waveInOpen(HWAVEIN* phwi, std::uint32_t uDeviceID, const WAVEFORMATEX* pwfx,
                    std::uintptr_t dwCallback, std::uintptr_t dwInstance, std::uint32_t fdwOpen);
MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, std::uint32_t cbwh);
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, std::uint32_t cbwh);
MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, std::uint32_t cbwh);
MMRESULT waveInStart(HWAVEIN hwi);
MMRESULT waveInStop(HWAVEIN hwi);
// Stops capturing and returns every queued buffer (the one being filled with what it holds).
MMRESULT waveInReset(HWAVEIN hwi);
// Refused with WAVERR_STILLPLAYING while buffers are queued.
MMRESULT waveInClose(HWAVEIN hwi);

MMRESULT waveOutOpen(HWAVEOUT* phwo, std::uint32_t uDeviceID, const WAVEFORMATEX* pwfx,
                     std::uintptr_t dwCallback, std::uintptr_t dwInstance, std::uint32_t fdwOpen);
MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, std::uint32_t cbwh);
MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, std::uint32_t cbwh);
MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR* pwh, std::uint32_t cbwh);
// Stops playback at once and returns every queued buffer.
MMRESULT waveOutReset(HWAVEOUT hwo);
// Refused with WAVERR_STILLPLAYING while buffers are queued.
MMRESULT waveOutClose(HWAVEOUT hwo);

// Sound cards present (the numbered devices).
std::uint32_t waveInGetNumDevs();
std::uint32_t waveOutGetNumDevs();

// ALSA's names of the sound cards ("hw:" and the card number for a card without one), in
// device-number order: entry n names device n. Empty without sound cards.
std::vector<std::string> SoundCardNames();

// The ALSA PCM that a device number stands for ("default", "plughw:CARD=..." or the
// environment's), or the empty text when there is no such device.
std::string WaveDevicePcm(std::uint32_t uDeviceID, bool capture, bool mapped);

}  // namespace platform
