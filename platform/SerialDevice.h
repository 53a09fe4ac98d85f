#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Modem input lines as one status word (the classic modem-status bit values).
constexpr std::uint32_t kModemCts = 0x0010;
constexpr std::uint32_t kModemDsr = 0x0020;
constexpr std::uint32_t kModemRing = 0x0040;
constexpr std::uint32_t kModemDcd = 0x0080;

// Modem output lines.
enum class ModemLine { Dtr, Rts };

// The line settings a serial device can take.
struct SerialSettings {
  std::uint32_t baudRate = 9600;
  std::uint8_t dataBits = 8;   // 5 to 8
  std::uint8_t parity = 0;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t stopBits = 0;   // 0 one, 1 one and a half (5 data bits only), 2 two
  bool replaceErrors = false;  // bytes received with a parity or framing error read as NUL
  bool ctsFlow = false;        // RTS/CTS handshake
  bool xonXoffOut = false;     // output stops on XOFF, goes on on XON
  bool xonXoffIn = false;      // XOFF sent when the input queue fills, XON when it empties
  char xonChar = 17;
  char xoffChar = 19;
};

// Cumulative counts since the device was opened: modem line transitions, bytes moved and line
// errors, as the driver keeps them.
struct SerialCounters {
  std::uint32_t cts = 0, dsr = 0, ring = 0, dcd = 0;
  std::uint32_t rx = 0, tx = 0;
  std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

// One serial device: the seam between the serial port component and the system. Every call
// returns 0 or an errno value and never blocks, except Wait. The component calls it from its
// owner thread and from its worker thread at the same time; an implementation must allow that,
// and a call made after Close must fail with EBADF rather than touch a descriptor that may
// already belong to something else.
class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Prepares what Wait and Wake need; called once, before anything else.
  virtual int Init() = 0;

  // Opens the device at path (see SerialDevicePath) exclusively; the device must be a terminal.
  virtual int Open(const std::string& path) = 0;
  virtual int Close() = 0;
  virtual bool IsOpen() const = 0;
  // A number naming the open device (its descriptor), -1 while closed.
  virtual int Handle() const = 0;

  // Driver queue sizes: Linux has no such setting, so this only checks that the device is open.
  virtual int SetupQueues(std::uint32_t rxSize, std::uint32_t txSize) = 0;

  virtual int GetSettings(SerialSettings& settings) = 0;
  // Raw mode with the given line settings; a combination the device cannot take gives EINVAL.
  virtual int SetSettings(const SerialSettings& settings) = 0;
  // Makes reads return at once with what is waiting (never wait for more bytes).
  virtual int SetReadsReturnAtOnce() = 0;

  virtual int GetModemLines(std::uint32_t& status) = 0;  // kModem* bits
  virtual int SetModemLine(ModemLine line, bool on) = 0;
  virtual int SetBreak(bool on) = 0;
  // Discards what waits in the driver's queues.
  virtual int Purge(bool input, bool output) = 0;
  // Bytes waiting in the input queue and bytes not yet sent from the output queue.
  virtual int GetQueues(std::uint32_t& input, std::uint32_t& output) = 0;
  // ENOTTY or EINVAL when the driver keeps no counters.
  virtual int GetCounters(SerialCounters& counters) = 0;

  // Non-blocking transfers; EAGAIN when nothing can move now. done gets the bytes moved.
  virtual int Read(void* buffer, std::size_t size, std::size_t& done) = 0;
  virtual int Write(const void* buffer, std::size_t size, std::size_t& done) = 0;

  // Sleeps up to ms milliseconds, less when the device becomes readable (readable asked) or
  // writable (writable asked), when Wake is called, or when the device reports a hang-up or an
  // error (then the rest of the time is slept unless Wake comes, and the answer is EIO: the device
  // is gone). Works while closed too.
  virtual int Wait(std::uint32_t ms, bool readable, bool writable) = 0;
  // Ends the current or the next Wait early; callable from any thread.
  virtual int Wake() = 0;
};

// The device path for a port name: an absolute path as given, "COMn" (any case) as
// "/dev/ttyS<n-1>", any other name with "/dev/" in front.
std::string SerialDevicePath(const std::string& name);

// The system's serial device.
std::unique_ptr<SerialDevice> CreateSerialDevice();

}  // namespace platform
