#include "serial/SerialShared.h"

#include <errno.h>

#include "platform/Tick.h"

TSerialShared::WriteStart TSerialShared::StartWriteLocked(std::string data, int& error) {
  writeData = std::move(data);
  writeDone = 0;
  writeAbort = 0;
  writeStart = platform::GetTickCount();
  std::size_t moved = 0;
  int err = device->Write(writeData.data(), writeData.size(), moved);
  if (err == EAGAIN || err == EINTR) err = 0;
  if (err != 0) {
    error = err;
    lastWriteError = err;
    writeData.clear();
    return WriteStart::Failed;
  }
  if (moved > 0) txPending = true;
  writeDone = moved;
  if (writeDone == writeData.size()) {
    writtenBytes = static_cast<std::uint32_t>(moved);
    writeData.clear();
    writeDone = 0;
    return WriteStart::Done;
  }
  sendInProgress = true;
  return WriteStart::Pending;
}
