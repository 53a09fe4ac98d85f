// The client under a heavy or hostile server: floods of receive text, chat and status lines,
// audio sent far ahead of time, absurd frequencies and an endless message, played by a scripted
// server on loopback against the front panel offscreen.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <atomic>
#include <filesystem>

#include "client/K2FrontPanel.h"
#include "client/PanelImage.h"
#include "client/RxWin.h"
#include "client/TraceFile.h"
#include "common/AudioFrame.h"
#include "common/ChatWin.h"
#include "common/Utils.h"
#include "controls/LEDMeter.h"
#include "platform/Application.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/client/FakeServer.h"
#include "tests/support/Mp3Reference.h"
#include "tests/support/WaitFor.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TALVO_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TALVO_TEST_ASAN 1
#endif

#if defined(TALVO_TEST_ASAN)
// The sanitizer's runtime has it; not every compiler ships its header.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

using testsupport::WaitFor;

namespace {

// Heap bytes in use. Under the address sanitizer the resident size says little (its quarantine
// holds freed blocks for a while), but its count of the bytes allocated does.
std::size_t HeapInUse() {
#if defined(TALVO_TEST_ASAN)
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
#endif
}

long ResidentKiB() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class ClientLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TALVO_ALSA_PCM_OUT", "null", 1);
    platform::SetMessageBoxHook(
        [this](const std::string& text, const std::string&) { messages_.push_back(text); });
    WriteIniString(ini_, "Settings", "Call", "DL1ABC");
    WriteIniString(ini_, "Live", "Addr", "127.0.0.1");
    WriteIniString(ini_, "Live", "Port", std::to_string(server_.Port()));
    panel_ = std::make_unique<TK2FrontPanel>(ini_, home_ + "/TalvoClient.log", nullptr, false);
  }
  void TearDown() override {
    platform::SetMessageBoxHook(nullptr);
    unsetenv("TALVO_ALSA_PCM_OUT");
  }

  // Logs in, then plays the script; the panel is live when this returns.
  void Connect(std::function<void(FakeServer::Conn&)> script) {
    server_.Run([script](FakeServer::Conn& c) {
      c.SendLine("Talvo Server 1.0");
      if (c.WaitLine("AUTH").rfind("AUTH", 0) != 0) return;
      c.SendLine("# Welcome");
      c.SendLine("PRIV 2");
      if (c.WaitLine("SM ON").rfind("SM", 0) != 0) return;
      script(c);
    });
    panel_->Session().ConnectTo("Live");
    ASSERT_TRUE(WaitFor([&] { return panel_->Button(3)->isEnabled(); }, 20000));
  }

  // Clicks switch 3 from the event loop after delayMs, and waits for its line at the server:
  // how long after the call the click came, and whether flooding held then.
  struct TClick {
    FakeServer::Clock::duration waited{};
    bool duringFlood = false;
  };
  TClick ClickSwitch3(int delayMs, const std::atomic<bool>& flooding) {
    const auto asked = FakeServer::Clock::now();
    auto click = std::make_shared<TClick>();
    auto done = std::make_shared<bool>(false);
    QTimer::singleShot(delayMs, [this, asked, click, done, &flooding] {
      click->waited = FakeServer::Clock::now() - asked;
      click->duringFlood = flooding;
      *done = true;
      QTest::mouseClick(panel_->Button(3), Qt::LeftButton);
    });
    EXPECT_TRUE(WaitFor([&] { return *done; }, 30000));
    EXPECT_TRUE(server_.WaitForLine("CAT SW03;", 30000));
    return *click;
  }

  const std::string home_ = TestHome();
  const std::string ini_ = home_ + "/TalvoClient.INI";
  FakeServer server_;
  std::unique_ptr<TK2FrontPanel> panel_;
  std::vector<std::string> messages_;
};

TEST_F(ClientLoad, TenThousandReceiveLinesInOneWriteAreShownAtOnceAndBounded) {
  std::string flood;
  for (int i = 0; i < 10000; ++i) flood += "RXT cq de q1xyz " + std::to_string(i) + " \r\n";
  Connect([&flood](FakeServer::Conn& c) { c.Send(flood); });
  const auto start = FakeServer::Clock::now();
  TRxWin& rx = *panel_->RxWin();
  ASSERT_TRUE(WaitFor([&] { return EndsWith(rx.Text(), "q1xyz 9999 "); }, 60000));
  const auto took = FakeServer::Clock::now() - start;
  EXPECT_LT(took, std::chrono::seconds(45));  // three minutes before, in a release build
  EXPECT_LE(rx.RxPanel()->document()->characterCount(), TRxWin::kMaxChars + 64);
  EXPECT_GT(rx.RxPanel()->document()->blockCount(), 1);
  // The window's breaks are no part of the text: each line follows the one before it.
  EXPECT_NE(rx.Text().find("q1xyz 9998 cq de q1xyz 9999 "), std::string::npos);
}

TEST_F(ClientLoad, ChatKeepsItsNewestLines) {
  Connect([](FakeServer::Conn& c) {
    std::string words;
    while (words.size() < 60000) words += "words of a long chat line ";
    for (int i = 0; i < 20; ++i) c.SendLine("CHAT Q1XYZ> " + words);
    for (int i = 0; i < 3000; ++i) c.SendLine("CHAT Q1XYZ> short " + std::to_string(i));
  });
  TChatWin& chat = *panel_->ChatWin();
  ASSERT_TRUE(WaitFor([&] { return EndsWith(chat.Conversation(), "short 2999\n"); }, 60000));
  EXPECT_LE(chat.ChatText()->document()->characterCount(), TChatWin::kMaxChars + 64);
  EXPECT_LE(chat.ChatText()->document()->blockCount(), TChatWin::kMaxLines);
}

TEST_F(ClientLoad, AClickIsAnsweredWhileStatusLinesFlood) {
  std::atomic<bool> flooding{false};
  Connect([&flooding](FakeServer::Conn& c) {
    std::string chunk;
    while (chunk.size() < 64 * 1024) chunk += "SM 5\r\nDISPLAY 12345678AB\r\n";
    flooding = true;
    const auto until = FakeServer::Clock::now() + std::chrono::seconds(4);
    while (FakeServer::Clock::now() < until) c.Send(chunk);
    flooding = false;
    c.SendLine("SM 3");
  });
  ASSERT_TRUE(WaitFor([&] { return panel_->LEDMeter()->Position() == 5; }, 20000));
  const TClick click = ClickSwitch3(100, flooding);
  EXPECT_TRUE(click.duringFlood);
  EXPECT_LT(click.waited, std::chrono::seconds(1));
  // Nothing was lost on the way: the last line came after the flood.
  EXPECT_TRUE(WaitFor([&] { return panel_->LEDMeter()->Position() == 3; }, 30000));
}

TEST_F(ClientLoad, AStatusFloodLeavesMemoryWhereItWas) {
  // Lines sent as fast as the client takes them, for ten seconds.
  constexpr auto kFlood = std::chrono::seconds(10);
  Connect([&](FakeServer::Conn& c) {
    std::string chunk;
    while (chunk.size() < 64 * 1024) chunk += "SM 5\r\nDISPLAY 12345678AB\r\n";
    const auto until = FakeServer::Clock::now() + kFlood;
    while (FakeServer::Clock::now() < until) c.Send(chunk);
    c.SendLine("SM 3");
  });
  ASSERT_TRUE(WaitFor([&] { return panel_->LEDMeter()->Position() == 5; }, 20000));
  WaitFor([] { return false; }, 1000);  // the views have been painted
  const std::size_t heap = HeapInUse();
  const long resident = ResidentKiB();
  long mostResident = resident;
  std::size_t mostHeap = heap;
  ASSERT_TRUE(WaitFor(
      [&] {
        mostHeap = std::max(mostHeap, HeapInUse());
        mostResident = std::max(mostResident, ResidentKiB());
        return panel_->LEDMeter()->Position() == 3;
      },
      120000));
  EXPECT_LT(mostHeap - heap, 4u << 20) << heap << " bytes, then " << mostHeap;
#if !defined(TALVO_TEST_ASAN)
  EXPECT_LT(mostResident - resident, 6 * 1024) << resident << " KiB, then " << mostResident;
#endif
}

TEST_F(ClientLoad, AClickIsAnsweredWhileLongChatLinesFloodAndTheTraceStaysBounded) {
  const std::string trace = home_ + "/TalvoClient.log";
  WriteIniString(ini_, "Debug", "Trace", "1");
  panel_ = std::make_unique<TK2FrontPanel>(ini_, trace, nullptr, false);
  std::atomic<bool> flooding{false};
  Connect([&flooding](FakeServer::Conn& c) {
    std::string words;
    while (words.size() < 60000) words += "words of a long chat line ";
    flooding = true;
    for (int i = 0; i < 1000; ++i) c.SendLine("CHAT Q1XYZ> " + std::to_string(i) + " " + words);
    flooding = false;
    c.SendLine("SM 3");
  });
  TChatWin& chat = *panel_->ChatWin();
  ASSERT_TRUE(WaitFor([&] { return chat.isVisible(); }, 20000));
  const TClick click = ClickSwitch3(0, flooding);
  EXPECT_TRUE(click.duringFlood);
  EXPECT_LT(click.waited, std::chrono::seconds(1));

  ASSERT_TRUE(WaitFor([&] { return panel_->LEDMeter()->Position() == 3; }, 120000));
  // A long line shows its beginning.
  const QString last = chat.ChatText()->document()->lastBlock().previous().text();
  EXPECT_TRUE(last.startsWith(QStringLiteral("Q1XYZ> 999 words of")));
  EXPECT_EQ(last.size(), static_cast<qsizetype>(TChatWin::kMaxLineChars) + 1);
  EXPECT_TRUE(last.endsWith(QChar(0x2026)));
  // 60 MB were traced: the file made way for them, and kept its newest lines.
  EXPECT_LE(std::filesystem::file_size(trace), TTraceFile::kMaxFileBytes);
  EXPECT_LE(std::filesystem::file_size(trace + ".1"), TTraceFile::kMaxFileBytes);
  EXPECT_GT(std::filesystem::file_size(trace + ".1"), TTraceFile::kMaxFileBytes - 70000);
  EXPECT_TRUE(EndsWith(FileText(trace), " RCVD: SM 3\r\n"));
}

TEST(TraceFileBound, AFullTraceThatCannotBeRenamedIsEmptiedWithANote) {
  const std::string path = TestHome() + "/trace.log";
  TTraceFile trace(path, 1000);
  ASSERT_TRUE(trace.Rewrite());
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(trace.WriteLine(" RCVD: SM " + std::to_string(i)));
  EXPECT_LE(std::filesystem::file_size(path + ".1"), 1000u);
  std::filesystem::remove(path + ".1");
  std::filesystem::create_directories(path + ".1/keep");  // cannot be replaced by a file
  for (int i = 100; i < 200; ++i) ASSERT_TRUE(trace.WriteLine(" RCVD: SM " + std::to_string(i)));
  const std::string text = FileText(path);
  EXPECT_LE(text.size(), 1000u);
  EXPECT_EQ(text.find(" ** The trace file could not be renamed to " + path + ".1 ("), 8u) << text;
  EXPECT_TRUE(EndsWith(text, " RCVD: SM 199\r\n"));
}

TEST_F(ClientLoad, AudioSentFarAheadOfTimeWaitsAtMostTwoSeconds) {
  // A minute of a tone, in the 144-byte frames of 72 ms the server sends, all at once.
  std::vector<std::int16_t> tone(8000 * 60);
  for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<std::int16_t>(i % 16 * 800);
  const std::vector<std::uint8_t> mp3 = mp3ref::Encode(tone, 8000, 16);
  ASSERT_GT(mp3.size(), 100000u);
  Connect([&mp3](FakeServer::Conn& c) {
    if (c.WaitLine("AU ON").rfind("AU ON", 0) != 0) return;
    std::uint32_t stamp = 0x10000000;
    for (std::size_t at = 0; at < mp3.size(); at += 144, stamp += 72) {
      std::string frame = EncodeAudioFrame(
          mp3.data() + at, static_cast<std::int32_t>(std::min<std::size_t>(144, mp3.size() - at)));
      char hex[9];
      std::snprintf(hex, sizeof hex, "%08X", stamp);
      c.SendLine("AU " + frame.replace(0, 8, hex));
    }
    c.SendLine("SM 4");
  });
  panel_->AFGainKnobChange(3);
  ASSERT_TRUE(panel_->Session().AudioOn());
  std::size_t most = 0;
  ASSERT_TRUE(WaitFor(
      [&] {
        most = std::max(most, panel_->Audio().ACMOut.QueuedBytes());
        return panel_->LEDMeter()->Position() == 4;
      },
      30000));
  EXPECT_GT(most, 2000u);         // the card was kept busy
  EXPECT_LE(most, 4000u + 144u);  // 2 s at 2000 bytes a second, and one frame
}

TEST_F(ClientLoad, AbsurdFrequenciesAreIgnoredAndAnEndlessMessageFitsTheScreen) {
  std::string lines;  // 21,000 line breaks in a line the client takes (at most 64 KiB)
  for (int i = 0; i < 21000; ++i) lines += "x||";
  Connect([&lines](FakeServer::Conn& c) {
    c.SendLine("FREQ 7040.000");
    for (const char* bad : {"-1", "-0.000", "0", "100000", "nan", "1e400"})
      c.SendLine(std::string("FREQ ") + bad);
    c.SendLine("FREQ 1" + std::string(308, '0'));
    c.SendLine("# " + lines);
    c.SendLine("SM 6");
  });
  ASSERT_TRUE(WaitFor([&] { return panel_->LEDMeter()->Position() == 6; }, 20000));
  EXPECT_EQ(panel_->Session().CurrentFreqText(), "7040.000");
  EXPECT_TRUE(panel_->Session().SendFreqStep(0.01));
  EXPECT_TRUE(server_.WaitForLine("FREQ 7040.01"));

  ASSERT_TRUE(WaitFor([&] { return !messages_.empty() && messages_.back().size() == 42000; }));
  QMessageBox box(QMessageBox::Information, QStringLiteral("Message"),
                  platform::BoxText(messages_.back()), QMessageBox::Ok);
  EXPECT_LE(box.sizeHint().height(),
            QGuiApplication::primaryScreen()->availableGeometry().height());
  EXPECT_TRUE(box.text().endsWith(QChar(0x2026)));
  EXPECT_TRUE(box.text().startsWith(QStringLiteral("x\nx\nx\n")));
}

}  // namespace
