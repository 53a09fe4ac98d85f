// The serial port over a fake device: properties, opening and closing, modem lines, line errors,
// the read rule, the write queue and the failure reports.
#include <gtest/gtest.h>

#include <thread>

#include "FakeSerialDevice.h"
#include "SerialTestSupport.h"

namespace {

struct FakePort {
  FakePort() {
    auto d = std::make_unique<FakeSerialDevice>();
    device = d.get();
    port = std::make_unique<TSerialPort>(std::move(d));
    rec.Attach(*port);
  }
  FakeSerialDevice* device;
  std::unique_ptr<TSerialPort> port;
  PortRecorder rec;
};

std::vector<std::uint32_t> Places(const PortRecorder& rec) {
  std::vector<std::uint32_t> places;
  for (const auto& r : rec.reports) places.push_back(r.place);
  return places;
}

}  // namespace

TEST(SerialPort, DefaultsAndAutomaticByteTimes) {
  FakePort f;
  TSerialPort& p = *f.port;
  EXPECT_EQ(p.CommPort(), "COM2");
  EXPECT_EQ(p.BaudRate(), 9600u);
  EXPECT_EQ(p.DataBits(), 8);
  EXPECT_EQ(p.StopBits(), 0);
  EXPECT_EQ(p.XONChar(), 17);
  EXPECT_EQ(p.XOFFChar(), 19);
  EXPECT_EQ(p.XONLimDiv(), 33);
  EXPECT_EQ(p.RTOCharDelayTime(), 1100u);
  EXPECT_EQ(p.RTOExtraDelayTime(), 250);
  EXPECT_EQ(p.ClusterSize(), 3072);
  EXPECT_EQ(p.RxQueueSize(), 4096);
  EXPECT_TRUE(p.XTOAuto());
  EXPECT_TRUE(p.RTSState());
  EXPECT_TRUE(p.DTRState());
  EXPECT_FALSE(p.Active());
  EXPECT_EQ(p.ErrorNoise(), 255);
  EXPECT_EQ(p.ComHandle(), 0xFFFFFFFFu);
  EXPECT_EQ(p.PeekChunkSize(), -1);
  EXPECT_EQ(p.TakeChunkText(), "");

  p.SetBaudRate(4800);
  EXPECT_EQ(p.RTOCharDelayTime(), 2300u);
  EXPECT_EQ(p.WTOCharDelayTime(), 2300u);
  p.SetBaudRate(100);
  EXPECT_EQ(p.WTOCharDelayTime(), 1100u);
  p.SetBaudRate(300000);
  EXPECT_EQ(p.RTOCharDelayTime(), 43u);
  p.SetBaudRate(57599);
  EXPECT_EQ(p.RTOCharDelayTime(), 200u);

  p.SetXTOAuto(false);
  p.SetBaudRate(4800);
  EXPECT_EQ(p.RTOCharDelayTime(), 200u);
  p.SetXTOAuto(true);
  EXPECT_EQ(p.RTOCharDelayTime(), 2300u);
  p.SetBaudRate(110);
  EXPECT_EQ(p.WTOCharDelayTime(), 100000u);
  p.SetBaudRate(109);
  EXPECT_EQ(p.WTOCharDelayTime(), 1100u);
}

TEST(SerialPort, LimitsOverHundredAreClampedWithAWarning) {
  FakePort f;
  f.port->SetXONLimDiv(150);
  EXPECT_EQ(f.port->XONLimDiv(), 100);
  f.port->SetXOFFLimDiv(101);
  EXPECT_EQ(f.port->XOFFLimDiv(), 100);
  ASSERT_EQ(f.rec.reports.size(), 2u);
  EXPECT_EQ(f.rec.reports[0].place, 100u);
  EXPECT_EQ(f.rec.reports[0].code, 150u);
  EXPECT_EQ(f.rec.reports[0].msg, "Warning XOnLimDef set to 100");
  EXPECT_EQ(f.rec.reports[1].code, 101u);
  EXPECT_EQ(f.rec.reports[1].msg, "Warning XOffLimDef set to 100");
}

TEST(SerialPort, OpensWithTheServerSettingsAndClosesInOrder) {
  FakePort f;
  TSerialPort& p = *f.port;
  p.SetCommPort("COM3");
  p.SetBaudRate(4800);
  p.SetDataBits(8);
  p.SetParityType(0);
  p.SetStopBits(2);
  p.SetFlowControl(0);
  p.SetActive(true);
  ASSERT_TRUE(p.Active());
  EXPECT_EQ(p.ComHandle(), 42u);
  p.SetDTRState(false);
  p.SetRTSState(false);

  auto s = f.device->Look([](auto& st) { return st; });
  EXPECT_EQ(s.opened, std::vector<std::string>{"/dev/ttyS2"});
  EXPECT_EQ(s.settings.baudRate, 4800u);
  EXPECT_EQ(s.settings.dataBits, 8);
  EXPECT_EQ(s.settings.parity, 0);
  EXPECT_EQ(s.settings.stopBits, 2);
  EXPECT_FALSE(s.settings.ctsFlow);
  EXPECT_FALSE(s.settings.xonXoffIn);
  EXPECT_FALSE(s.settings.xonXoffOut);
  EXPECT_EQ(s.lineLog, (std::vector<std::string>{"DTR+", "RTS+", "DTR-", "RTS-"}));
  EXPECT_EQ(Places(f.rec), std::vector<std::uint32_t>{110});

  // Settings made while open are applied at once, the rate included.
  p.SetBaudRate(9600);
  p.SetFlowControl(kFlowCtsOut | kFlowXonXoffIn);
  s = f.device->Look([](auto& st) { return st; });
  EXPECT_EQ(s.settings.baudRate, 9600u);
  EXPECT_TRUE(s.settings.ctsFlow);
  EXPECT_TRUE(s.settings.xonXoffIn);

  p.SetActive(false);
  EXPECT_FALSE(p.Active());
  EXPECT_EQ(p.ComHandle(), 0xFFFFFFFFu);
  s = f.device->Look([](auto& st) { return st; });
  EXPECT_FALSE(s.open);
  EXPECT_EQ(s.purges, 1);
  EXPECT_EQ(s.lineLog.back(), "RTS-");
  EXPECT_EQ(Places(f.rec), (std::vector<std::uint32_t>{110, 100}));
  EXPECT_EQ(f.rec.reports[1].msg, "Msg start deactivating Port");
}

TEST(SerialPort, OpeningAndClosingReportEachFailedStepInOrder) {
  FakePort f;
  TSerialPort& p = *f.port;
  f.device->Change([](auto& st) {
    st.fail["SetupQueues"] = EIO;
    st.fail["GetSettings"] = EIO;
    st.fail["SetModemLine"] = EIO;
  });
  p.SetActive(true);
  EXPECT_TRUE(p.Active());
  EXPECT_EQ(Places(f.rec), (std::vector<std::uint32_t>{110, 111, 801, 601, 501}));
  EXPECT_EQ(f.rec.Find(111)->msg, "Error setup Queuesize");
  EXPECT_EQ(f.rec.Find(601)->msg, "Error setting DTR");
  EXPECT_EQ(f.rec.Find(501)->msg, "Error setting RTS");

  f.rec.reports.clear();
  f.device->Change([](auto& st) {
    st.fail["Purge"] = EIO;
    st.fail["Close"] = EIO;
  });
  p.SetActive(false);
  EXPECT_FALSE(p.Active());
  EXPECT_EQ(Places(f.rec), (std::vector<std::uint32_t>{100, 102, 602, 502, 103}));
  EXPECT_EQ(f.rec.Find(602)->msg, "Error clearing DTR");
  EXPECT_EQ(f.rec.Find(502)->msg, "Error clearing RTS");
  for (const auto& r : f.rec.reports) {
    if (r.place == 100) continue;
    EXPECT_EQ(r.code, static_cast<std::uint32_t>(EIO)) << r.place;
  }
}

TEST(SerialPort, ChunksSurviveClosingAndReopening) {
  FakePort f;
  TSerialPort& p = *f.port;
  p.OnRxClusterEvent = nullptr;
  p.SetActive(true);
  f.device->Change([](auto& st) { st.input = "AB;"; });
  p.SetReadRequest(true);
  ASSERT_TRUE(PumpUntil([&] { return p.PeekChunkSize() >= 0; }));
  p.SetActive(false);
  EXPECT_EQ(p.PeekChunkSize(), 3);
  p.SetActive(true);
  EXPECT_EQ(p.PeekChunkSize(), 3);
  EXPECT_EQ(p.TakeChunkText(), "AB;");
  EXPECT_EQ(p.PeekChunkSize(), -1);
}

TEST(SerialPort, PortNameChangesReopenOnlyWhenOpenAndDifferent) {
  FakePort f;
  TSerialPort& p = *f.port;
  p.SetCommPort("ttyUSB0");
  p.SetCommPort("/dev/serial/by-id/usb-x");  // closed: only stored
  EXPECT_TRUE(f.device->Look([](auto& st) { return st.opened.empty(); }));
  p.SetActive(true);
  p.SetCommPort("/dev/serial/by-id/usb-x");
  p.SetCommPort("ttyUSB1");
  EXPECT_TRUE(p.Active());
  auto opened = f.device->Look([](auto& st) { return st.opened; });
  EXPECT_EQ(opened, (std::vector<std::string>{"/dev/serial/by-id/usb-x", "/dev/ttyUSB1"}));
  EXPECT_EQ(Places(f.rec), (std::vector<std::uint32_t>{110, 100, 110}));
}

TEST(SerialPort, LinesActOnlyWhileOpen) {
  FakePort f;
  TSerialPort& p = *f.port;
  p.SetDTRState(false);
  p.SetBREAKState(true);
  EXPECT_TRUE(p.DTRState());
  EXPECT_FALSE(p.BREAKState());
  p.SetActive(true);
  p.SetBREAKState(true);
  EXPECT_TRUE(p.BREAKState());
  EXPECT_TRUE(f.device->Look([](auto& st) { return st.brk; }));
  // A failed change is reported and still stored.
  f.device->Change([](auto& st) { st.fail["SetBreak"] = EIO; });
  p.SetBREAKState(false);
  EXPECT_FALSE(p.BREAKState());
  ASSERT_NE(f.rec.Find(702), nullptr);
  EXPECT_EQ(f.rec.Find(702)->code, static_cast<std::uint32_t>(EIO));
  EXPECT_EQ(f.rec.Find(702)->msg, "Error clearing BREAK State");
}

TEST(SerialPort, OpenFailureLeavesThePortClosed) {
  FakePort f;
  f.device->Change([](auto& st) { st.fail["Open"] = ENOENT; });
  f.port->SetActive(true);
  EXPECT_FALSE(f.port->Active());
  EXPECT_EQ(f.port->ComHandle(), 0xFFFFFFFFu);
  ASSERT_NE(f.rec.Find(112), nullptr);
  EXPECT_EQ(f.rec.Find(112)->code, static_cast<std::uint32_t>(ENOENT));
  EXPECT_EQ(f.rec.Find(112)->msg, "Error reopening Port");
}

TEST(SerialPort, FailuresOfTheSettingsAndOfClosingAreReported) {
  FakePort f;
  TSerialPort& p = *f.port;
  f.device->Change([](auto& st) {
    st.fail["SetSettings"] = EINVAL;
    st.fail["SetReadsReturnAtOnce"] = EIO;
  });
  p.SetActive(true);
  ASSERT_TRUE(p.Active());
  ASSERT_NE(f.rec.Find(802), nullptr);
  EXPECT_EQ(f.rec.Count(802), 2);
  EXPECT_EQ(f.rec.reports[1].msg, "Error setting CommTimeout");
  EXPECT_EQ(f.rec.reports[2].msg, "Error setting CommState, 87 indicate that Parms are incorrect");
  EXPECT_EQ(f.rec.reports[2].code, static_cast<std::uint32_t>(EINVAL));

  f.device->Change([](auto& st) { st.fail["GetSettings"] = EIO; });
  p.SetParityType(2);
  ASSERT_NE(f.rec.Find(801), nullptr);
  EXPECT_EQ(f.rec.Find(801)->msg, "Error getting DCB from CommState");

  f.device->Change([](auto& st) {
    st.fail["Purge"] = EIO;
    st.fail["Close"] = EINTR + 1000;
  });
  p.SetActive(false);
  EXPECT_EQ(f.rec.Find(102)->msg, "Error clearing Queues");
  EXPECT_EQ(f.rec.Find(103)->msg, "Error closing Port");
  EXPECT_FALSE(p.Active());

  // Queue sizes: Linux has none to set, but a closed port refuses.
  p.SetRxQueueSize(1024);
  EXPECT_EQ(f.rec.Find(101)->msg, "Error can not set Quesize");
  EXPECT_EQ(f.rec.Find(101)->code, static_cast<std::uint32_t>(EBADF));
  EXPECT_EQ(p.RxQueueSize(), 1024);
}

TEST(SerialPort, NoiseFilterAndDestructionSilenceReports) {
  auto d = std::make_unique<FakeSerialDevice>();
  FakeSerialDevice* device = d.get();
  int reports = 0;
  {
    TSerialPort p(std::move(d));
    p.OnProcessError = [&](TSerialPort&, std::uint32_t, std::uint32_t, const std::string&) {
      ++reports;
    };
    p.SetErrorNoise(0);
    p.SetXONLimDiv(200);  // level 1
    p.SetActive(true);    // level 2
    EXPECT_EQ(reports, 0);
    device->Change([](auto& st) { st.fail["SetModemLine"] = EIO; });
    p.SetRTSState(false);  // level 0
    EXPECT_EQ(reports, 1);
    p.SetErrorNoise(255);
    // Destruction closes the port (message, failing line calls) without a word.
  }
  EXPECT_EQ(reports, 1);
}

TEST(SerialPort, ModemLinesAndTheirEventsWithoutCounters) {
  FakePort f;
  f.device->Change([](auto& st) { st.fail["GetCounters"] = ENOTTY; });
  f.port->SetActive(true);
  ASSERT_TRUE(PumpUntil([&] { return f.rec.Find(9907) != nullptr; }));
  EXPECT_EQ(f.rec.Find(9907)->code, static_cast<std::uint32_t>(ENOTTY));

  f.device->Change([](auto& st) { st.modem = platform::kModemCts | platform::kModemDcd; });
  ASSERT_TRUE(PumpUntil([&] { return f.rec.EventCount("RLSD") == 1; }));
  EXPECT_TRUE(f.port->CTSState());
  EXPECT_TRUE(f.port->RLSDState());
  EXPECT_FALSE(f.port->DSRState());
  EXPECT_EQ(f.port->ModemState(), kMsCtsOn | kMsRlsdOn);
  EXPECT_EQ(f.rec.EventCount("CTS"), 1);
  EXPECT_EQ(f.port->CommEvent(), kEvCts | kEvRlsd);
  // Order: CTS before RLSD, OnCommEvent last.
  std::vector<std::string> expected{"CTS", "RLSD", "Comm"};
  EXPECT_EQ(f.rec.events, expected);

  f.device->Change([](auto& st) { st.modem = platform::kModemDsr | platform::kModemRing; });
  ASSERT_TRUE(PumpUntil([&] { return f.rec.EventCount("Ring") == 1; }));
  EXPECT_TRUE(f.port->RingState());
  EXPECT_TRUE(f.port->DSRState());
  EXPECT_FALSE(f.port->CTSState());
  EXPECT_EQ(f.rec.Count(9907), 1);  // said once
}

TEST(SerialPort, LineErrorsReadAtOnceAndTravelWithTheChunk) {
  FakePort f;
  TSerialPort& p = *f.port;
  p.SetRTOExtraDelayTime(60000);  // only the error may trigger the read
  p.OnRxClusterEvent = nullptr;
  p.SetActive(true);
  Pump(200);
  f.device->Change([](auto& st) {
    st.input = "AB";
    st.counters.frame = 1;
    st.counters.rx = 2;
  });
  ASSERT_TRUE(PumpUntil([&] { return p.PeekChunkSize() >= 0; }, 5000));
  ASSERT_NE(p.PeekChunk(), nullptr);
  EXPECT_EQ(p.PeekChunk()->ErrorFlags(), kCeFrame);
  EXPECT_EQ(p.TakeChunkText(), "AB");
  ASSERT_TRUE(PumpUntil([&] { return f.rec.EventCount("LineError") == 1; }));
  EXPECT_EQ(f.rec.EventCount("RxChar"), 1);

  // Breaks, overruns and modem transitions come from the counters.
  f.device->Change([](auto& st) {
    st.counters.brk = 1;
    st.counters.overrun = 3;
    st.counters.cts = 2;
  });
  ASSERT_TRUE(PumpUntil([&] { return f.rec.EventCount("Break") == 1; }));
  EXPECT_EQ(f.rec.EventCount("LineError"), 2);
  EXPECT_EQ(f.rec.EventCount("CTS"), 1);
  // The flags are those of one poll: the next poll clears them again.
  ASSERT_TRUE(PumpUntil([&] { return p.CommError() == 0; }));
}

TEST(SerialPort, ModemLinesMissingAreReportedOnce) {
  FakePort f;
  f.device->Change([](auto& st) { st.fail["SetModemLine"] = st.fail["GetModemLines"] = ENOTTY; });
  TSerialPort& p = *f.port;
  p.SetActive(true);
  p.SetDTRState(false);
  p.SetRTSState(false);
  // The worker's poll says it once as well, whichever comes first.
  EXPECT_TRUE(PumpUntil([&] { return f.rec.Count(9905) == 1; }));
  Pump(300);
  p.SetActive(false);
  ASSERT_EQ(f.rec.Count(601), 1);
  EXPECT_EQ(f.rec.Find(601)->code, static_cast<std::uint32_t>(ENOTTY));
  EXPECT_EQ(f.rec.Count(9905), 1);
  EXPECT_EQ(f.rec.Count(501) + f.rec.Count(502) + f.rec.Count(602), 0);
  // Said again after the next opening, once.
  p.SetActive(true);
  p.SetActive(false);
  EXPECT_EQ(f.rec.Count(601), 2);
}

TEST(SerialPort, RepeatedWorkerFailuresAreReportedOnceUntilTheCallWorks) {
  FakePort f;
  f.port->SetActive(true);
  f.device->Change([](auto& st) { st.fail["GetQueues"] = EIO; });
  ASSERT_TRUE(PumpUntil([&] { return f.rec.Count(9803) == 1; }));
  Pump(400);
  EXPECT_EQ(f.rec.Count(9803), 1);
  EXPECT_EQ(f.rec.Find(9803)->msg, "Error ClearCommError");
  f.device->Change([](auto& st) { st.fail.erase("GetQueues"); });
  Pump(200);
  f.device->Change([](auto& st) { st.fail["GetQueues"] = EIO; });
  ASSERT_TRUE(PumpUntil([&] { return f.rec.Count(9803) == 2; }));

  f.device->Change([](auto& st) {
    st.fail.erase("GetQueues");
    st.fail["Read"] = EIO;
    st.input = "x";
  });
  f.port->SetReadRequest(true);
  ASSERT_TRUE(PumpUntil([&] { return f.rec.Count(9804) == 1; }));
  EXPECT_EQ(f.rec.Find(9804)->msg, "Error reading Data");
  EXPECT_FALSE(f.port->ReadRequest());
}

TEST(SerialPort, ReadRequestReadsWhatWaitsAtOnce) {
  FakePort f;
  f.port->SetRTOExtraDelayTime(60000);
  f.port->SetActive(true);
  // Nothing waits: the request stays for the next read.
  f.port->SetReadRequest(true);
  Pump(300);
  EXPECT_TRUE(f.port->ReadRequest());
  f.port->SetReadRequest(false);
  f.device->Change([](auto& st) { st.input = "FA;"; });
  Pump(400);
  EXPECT_EQ(f.rec.chunks, 0);
  f.port->SetReadRequest(true);
  ASSERT_TRUE(PumpUntil([&] { return f.rec.chunks == 1; }, 3000));
  EXPECT_EQ(f.rec.received, "FA;");
  EXPECT_FALSE(f.port->ReadRequest());
}

TEST(SerialPort, ClusterSizeWaitingBytesAreReadAtOnce) {
  FakePort f;
  f.port->SetRTOExtraDelayTime(60000);
  f.port->SetClusterSize(8);
  f.port->SetActive(true);
  f.device->Change([](auto& st) { st.input = "1234567"; });
  Pump(300);
  EXPECT_EQ(f.rec.chunks, 0);
  f.device->Change([](auto& st) { st.input += "89"; });
  ASSERT_TRUE(PumpUntil([&] { return f.rec.chunks == 1; }, 3000));
  EXPECT_EQ(f.rec.received, "123456789");
}

TEST(SerialPort, EventCharacterNullStrippingAndEmptyChunks) {
  FakePort f;
  TSerialPort& p = *f.port;
  p.OnRxClusterEvent = nullptr;
  p.SetEventChar(';');
  p.SetStripNullChars(true);
  p.SetReadRequest(true);
  p.SetActive(true);
  f.device->Change([](auto& st) { st.input = std::string("IF\0;", 4); });
  p.SetReadRequest(true);
  ASSERT_TRUE(PumpUntil([&] { return p.PeekChunkSize() >= 0; }));
  EXPECT_EQ(p.TakeChunkText(), "IF;");
  ASSERT_TRUE(PumpUntil([&] { return f.rec.EventCount("RxEventChar") == 1; }));

  f.device->Change([](auto& st) { st.input = std::string("\0\0", 2); });
  p.SetReadRequest(true);
  ASSERT_TRUE(PumpUntil([&] { return p.PeekChunkSize() >= 0; }));
  EXPECT_EQ(p.PeekChunkSize(), 0);
  EXPECT_EQ(p.TakeChunkText(), "");
  EXPECT_EQ(p.PeekChunkSize(), -1);

  // Without stripping, zero bytes arrive as they are.
  p.SetStripNullChars(false);
  f.device->Change([](auto& st) { st.input = std::string("a\0b", 3); });
  p.SetReadRequest(true);
  ASSERT_TRUE(PumpUntil([&] { return p.PeekChunkSize() >= 0; }));
  EXPECT_EQ(p.TakeChunkText(), std::string("a\0b", 3));
}

TEST(SerialPort, WritesCompleteAtOnceOrThroughTheWorker) {
  FakePort f;
  TSerialPort& p = *f.port;
  EXPECT_TRUE(p.WriteText(""));
  EXPECT_EQ(f.rec.writesDone, 0);
  EXPECT_TRUE(f.rec.reports.empty());

  // Closed: the device refuses.
  EXPECT_FALSE(p.WriteText("FA;"));
  ASSERT_NE(f.rec.Find(903), nullptr);
  EXPECT_EQ(f.rec.Find(903)->code, static_cast<std::uint32_t>(EBADF));
  EXPECT_EQ(f.rec.Find(903)->msg, "Error writing Data");
  EXPECT_EQ(f.rec.writesDone, 0);

  p.SetActive(true);
  EXPECT_TRUE(p.WriteText("FA;"));
  EXPECT_EQ(f.rec.writesDone, 1);  // fired before WriteText returned
  EXPECT_EQ(p.WrittenBytes(), 3u);
  EXPECT_FALSE(p.SendInProgress());
  ASSERT_TRUE(PumpUntil([&] { return f.rec.EventCount("TxEmpty") == 1; }));

  f.device->Change([](auto& st) { st.writeRoom = 2; });
  EXPECT_TRUE(p.WriteText("MD1;"));
  EXPECT_TRUE(p.SendInProgress());
  EXPECT_EQ(f.rec.writesDone, 1);
  f.device->Change([](auto& st) { st.writeRoom = static_cast<std::size_t>(-1); });
  ASSERT_TRUE(PumpUntil([&] { return f.rec.writesDone == 2; }));
  EXPECT_FALSE(p.SendInProgress());
  EXPECT_EQ(p.WrittenBytes(), 4u);
  EXPECT_EQ(f.device->Look([](auto& st) { return st.output; }), "FA;MD1;");
}

TEST(SerialPort, WritesMadeWhileOneIsPendingAreQueuedInOrderUpToTheLimit) {
  FakePort f;
  TSerialPort& p = *f.port;
  p.SetActive(true);
  f.device->Change([](auto& st) { st.writeRoom = 0; });
  p.WriteText("TX;");
  ASSERT_TRUE(p.SendInProgress());
  std::string expected = "TX;";
  for (int i = 0; i < 40; ++i) {
    std::string cmd = "KY " + std::to_string(i) + ";";
    EXPECT_TRUE(p.WriteText(cmd));
    expected += cmd;
  }
  std::string big(TSerialPort::kWriteQueueLimit, 'x');
  EXPECT_FALSE(p.WriteText(big));  // does not fit behind the others
  ASSERT_EQ(f.rec.Count(901), 1);
  EXPECT_EQ(f.rec.Find(901)->code, 0u);
  EXPECT_EQ(f.rec.Find(901)->msg, "Msg, dont enter SendData while SendInProgress is set");
  EXPECT_TRUE(p.WriteText("RX;"));  // the release still fits
  expected += "RX;";

  f.device->Change([](auto& st) { st.writeRoom = static_cast<std::size_t>(-1); });
  ASSERT_TRUE(PumpUntil([&] { return f.rec.writesDone == 42; }));
  EXPECT_EQ(f.device->Look([](auto& st) { return st.output; }), expected);
  EXPECT_FALSE(p.SendInProgress());
  EXPECT_EQ(p.WrittenBytes(), 3u);
}

TEST(SerialPort, AWriteTheDeviceDoesNotTakeInTimeEndsShort) {
  FakePort f;
  TSerialPort& p = *f.port;
  p.SetWTOCharDelayTime(1000);
  p.SetWTOExtraDelayTime(100);
  p.SetActive(true);
  f.device->Change([](auto& st) { st.writeRoom = 4; });
  const std::uint32_t start = platform::GetTickCount();
  p.WriteText("0123456789");
  ASSERT_TRUE(PumpUntil([&] { return f.rec.writesDone == 1; }));
  EXPECT_GE(platform::GetTickCount() - start, 100u);
  ASSERT_EQ(f.rec.Count(9701), 1);
  EXPECT_EQ(f.rec.Find(9701)->code, static_cast<std::uint32_t>(ETIMEDOUT));
  EXPECT_EQ(f.rec.Find(9701)->msg, "Error write TimeOut");
  EXPECT_EQ(p.WrittenBytes(), 4u);
  EXPECT_FALSE(p.SendInProgress());
  // The report comes before OnWriteDone.
  p.OnWriteDone = [&](TSerialPort&) { f.rec.reports.push_back({0, 0, "done"}); };
  f.device->Change([](auto& st) { st.writeRoom = 0; });
  p.WriteText("abc");
  ASSERT_TRUE(PumpUntil([&] { return f.rec.Count(0) == 1; }));
  EXPECT_EQ(f.rec.reports[f.rec.reports.size() - 2].place, 9701u);
}

TEST(SerialPort, AWriteThatFailsLaterIsReportedAndEnds) {
  FakePort f;
  TSerialPort& p = *f.port;
  p.SetActive(true);
  f.device->Change([](auto& st) { st.writeRoom = 1; });
  p.WriteText("AB");
  f.device->Change([](auto& st) { st.fail["Write"] = EIO; });
  ASSERT_TRUE(PumpUntil([&] { return f.rec.writesDone == 1; }));
  ASSERT_NE(f.rec.Find(9702), nullptr);
  EXPECT_EQ(f.rec.Find(9702)->code, static_cast<std::uint32_t>(EIO));
  EXPECT_EQ(f.rec.Find(9702)->msg, "Error getting Overlapped Result");
  EXPECT_FALSE(p.SendInProgress());
}

TEST(SerialPort, ClosingLetsPendingWritesGoOutFirst) {
  FakePort f;
  TSerialPort& p = *f.port;
  p.SetWTOExtraDelayTime(3000);
  p.SetActive(true);
  f.device->Change([](auto& st) { st.writeRoom = 0; });
  p.WriteText("KY @;");
  p.WriteText("RX;");
  std::thread far([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    f.device->Change([](auto& st) { st.writeRoom = static_cast<std::size_t>(-1); });
  });
  p.SetActive(false);
  far.join();
  EXPECT_EQ(f.device->Look([](auto& st) { return st.output; }), "KY @;RX;");
  EXPECT_EQ(f.rec.writesDone, 2);
  EXPECT_EQ(f.rec.Count(9702), 0);
  EXPECT_EQ(f.rec.Count(104), 0);
}

TEST(SerialPort, ClosingAbortsWritesThatCannotGoOutInTime) {
  FakePort f;
  TSerialPort& p = *f.port;
  p.SetWTOCharDelayTime(1000);
  p.SetWTOExtraDelayTime(50);
  p.SetActive(true);
  f.device->Change([](auto& st) { st.writeRoom = 0; });
  const std::uint32_t start = platform::GetTickCount();
  p.WriteText("ABCDEFGH");
  p.SetActive(false);
  EXPECT_LT(platform::GetTickCount() - start, 3000u);
  EXPECT_FALSE(p.SendInProgress());
  EXPECT_EQ(f.rec.writesDone, 1);
  EXPECT_EQ(f.rec.Count(9701) + f.rec.Count(9702), 1);
  EXPECT_FALSE(f.device->Look([](auto& st) { return st.open; }));
}

TEST(SerialPort, AHandlerMayCloseThePortWithoutAStall) {
  FakePort f;
  TSerialPort& p = *f.port;
  p.OnRxClusterEvent = [&](TSerialPort& sender) {
    f.rec.received += sender.TakeChunkText();
    sender.SetActive(false);
  };
  p.SetActive(true);
  f.device->Change([](auto& st) { st.input = "x"; });
  p.SetReadRequest(true);
  ASSERT_TRUE(PumpUntil([&] { return !p.Active(); }));
  EXPECT_EQ(f.rec.received, "x");
  EXPECT_EQ(f.rec.Count(104), 0);  // the worker waits for the handler: no waiting for it
  EXPECT_FALSE(f.device->Look([](auto& st) { return st.open; }));
  // The port can open again afterwards.
  p.SetActive(true);
  EXPECT_TRUE(p.Active());
}

TEST(SerialPort, DestroyedWhileTheWorkerWaitsForTheMainThread) {
  // The worker hands a chunk over, but the main thread never dispatches: destruction must cancel
  // the hand-over instead of waiting for it.
  for (int round = 0; round < 5; ++round) {
    auto d = std::make_unique<FakeSerialDevice>();
    FakeSerialDevice* device = d.get();
    bool delivered = false;
    auto p = std::make_unique<TSerialPort>(std::move(d));
    p->OnRxClusterEvent = [&](TSerialPort&) { delivered = true; };
    p->SetReadRequest(true);
    p->SetActive(true);
    device->Change([](auto& st) { st.input = "data"; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50 * round));
    const std::uint32_t start = platform::GetTickCount();
    p.reset();
    EXPECT_LT(platform::GetTickCount() - start, 3000u);
    Pump(20);
    EXPECT_FALSE(delivered);
  }
}

TEST(SerialPort, DestroyedByItsOwnEventHandler) {
  auto d = std::make_unique<FakeSerialDevice>();
  FakeSerialDevice* device = d.get();
  auto* p = new TSerialPort(std::move(d));
  bool destroyed = false;
  p->OnRxClusterEvent = [&](TSerialPort& sender) {
    delete &sender;
    destroyed = true;
  };
  p->SetActive(true);
  device->Change([](auto& st) { st.input = "x"; });
  p->SetReadRequest(true);
  ASSERT_TRUE(PumpUntil([&] { return destroyed; }));
  Pump(100);
}
