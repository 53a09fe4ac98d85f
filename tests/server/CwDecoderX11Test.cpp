// The decoder link on a real X display: the decoder's window is found by its class and closed
// with the close request.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "CwlinkSupport.h"
#include "common/Utils.h"
#include "platform/Paths.h"
#include "platform/ProgramWindow.h"
#include "server/CwDecoder.h"

using namespace cwlink;

namespace {

std::size_t WindowCount() {
  return platform::FindProgramWindows(TCwDecoder::kWindowClass, {}).size();
}

class CwDecoderX11Test : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::WindowSystemAvailable()) << "this test needs an X display";
    ini_ = Home() + "server.ini";
    Install(FAKE_EXCHANGE, platform::ProgramFolder() + "libdxsoftex.so");
    WriteIniString(ini_, "CW Decoder", "Enable CW Decoder", "1");
    WriteIniString(ini_, "CW Decoder", "CWGet Path", DecoderPath());
  }
  void TearDown() override {
    decoder_.reset();
    fake_.reset();
    KillDecoders();
    WaitFor([] { return WindowCount() == 0; }, 5000);
  }

  void Make() {
    decoder_ = std::make_unique<TCwDecoder>(
        ini_, [this](const std::string& line) { lines_.push_back(line); },
        [this](const std::string& message) { log_.push_back(message); });
    ASSERT_TRUE(decoder_->Setup());
    fake_ = std::make_unique<FakeLibrary>();
    ASSERT_TRUE(fake_->Ok());
    fake_->Reset();
  }

  std::string ini_;
  std::unique_ptr<TCwDecoder> decoder_;
  std::unique_ptr<FakeLibrary> fake_;
  std::vector<std::string> lines_, log_;
};

TEST_F(CwDecoderX11Test, TheWindowIsFoundByItsClassAndClosedWithTheCloseRequest) {
  InstallDecoder("window");
  EXPECT_EQ(WindowCount(), 0u);
  ASSERT_TRUE(platform::StartProgram(DecoderPath(), DecoderFolder()));
  ASSERT_TRUE(WaitFor([] { return WindowCount() == 1; }));
  auto window = platform::FindProgramWindows("TRxForm", {})[0];
  EXPECT_EQ(window.kind, platform::ProgramWindow::Kind::X11);
  EXPECT_TRUE(platform::ProgramWindowExists(window));
  EXPECT_TRUE(platform::FindProgramWindows("TRxFormX", {}).empty());
  EXPECT_TRUE(platform::FindProgramWindows("cwget", {}).empty());  // the instance name is not it

  EXPECT_TRUE(platform::CloseProgramWindow(window));
  ASSERT_TRUE(WaitFor([] { return Markers("closed").size() == 1; }));
  EXPECT_TRUE(WaitFor([&] { return !platform::ProgramWindowExists(window); }));
  EXPECT_FALSE(platform::CloseProgramWindow(window));
}

TEST_F(CwDecoderX11Test, AWindowWithoutTheCloseRequestIsDisconnected) {
  InstallDecoder("noprotocol");
  ASSERT_TRUE(platform::StartProgram(DecoderPath(), DecoderFolder()));
  ASSERT_TRUE(WaitFor([] { return WindowCount() == 1; }));
  long pid = Markers("started")[0];
  EXPECT_TRUE(platform::CloseProgramWindow(platform::FindProgramWindows("TRxForm", {})[0]));
  EXPECT_TRUE(WaitFor([] { return WindowCount() == 0; }));
  EXPECT_TRUE(WaitFor([&] { return !Alive(pid); }));
  EXPECT_TRUE(Markers("closed").empty());
}

TEST_F(CwDecoderX11Test, StartWaitsForTheWindowOnATimerAndStopClosesIt) {
  InstallDecoder("window");
  Make();
  decoder_->StartCwDecoder();
  EXPECT_TRUE(decoder_->Starting());
  EXPECT_FALSE(decoder_->CwDecoderRunning());
  ASSERT_TRUE(WaitFor([&] { return decoder_->CwDecoderRunning(); }));
  EXPECT_EQ(WindowCount(), 1u);
  EXPECT_EQ(fake_->InitCalls(), 1);
  fake_->Feed("cq de k1abc");
  decoder_->ForwardDecodedText();
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_EQ(lines_[0], "RXT cq de k1abc\r\n");

  decoder_->StopCwDecoder();
  EXPECT_FALSE(decoder_->CwDecoderRunning());
  ASSERT_TRUE(WaitFor([] { return Markers("closed").size() == 1; }));
  EXPECT_TRUE(WaitFor([] { return WindowCount() == 0; }));
  EXPECT_TRUE(log_.empty());
}

TEST_F(CwDecoderX11Test, ADecoderAlreadyOpenIsAdoptedAtOnce) {
  InstallDecoder("window");
  ASSERT_TRUE(platform::StartProgram(DecoderPath(), DecoderFolder()));
  ASSERT_TRUE(WaitFor([] { return WindowCount() == 1; }));
  Make();
  decoder_->StartCwDecoder();
  EXPECT_FALSE(decoder_->Starting());
  EXPECT_TRUE(decoder_->CwDecoderRunning());
  EXPECT_EQ(fake_->InitCalls(), 1);
  WaitFor([] { return false; }, 1200);
  EXPECT_EQ(Markers("started").size(), 1u);

  // Stop closes it even though the server did not start it.
  decoder_->StopCwDecoder();
  EXPECT_TRUE(WaitFor([] { return Markers("closed").size() == 1; }));
}

TEST_F(CwDecoderX11Test, AClosingDecoderIsNotAdoptedAndANewOneStartsAfterIt) {
  InstallDecoder("slowclose");
  Make();
  decoder_->StartCwDecoder();
  ASSERT_TRUE(WaitFor([&] { return decoder_->CwDecoderRunning(); }));
  decoder_->StopCwDecoder();
  decoder_->StartCwDecoder();  // the old window lingers 1.5 s after the close request
  EXPECT_FALSE(decoder_->CwDecoderRunning());
  ASSERT_TRUE(WaitFor([&] { return decoder_->CwDecoderRunning(); }));
  EXPECT_EQ(Markers("closed").size(), 1u);
  EXPECT_EQ(Markers("started").size(), 2u);
  EXPECT_EQ(fake_->InitCalls(), 2);
  EXPECT_EQ(WindowCount(), 1u);
}

TEST_F(CwDecoderX11Test, ADecoderThatNeverShowsItsWindowIsGivenUpAndEndedAtStop) {
  InstallDecoder("nowindow");
  Make();
  decoder_->SetStartTimeout(1500);
  decoder_->StartCwDecoder();
  ASSERT_TRUE(WaitFor([&] { return !decoder_->Starting(); }));
  EXPECT_FALSE(decoder_->CwDecoderRunning());
  EXPECT_EQ(fake_->InitCalls(), 0);
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_NE(log_[0].find("did not appear"), std::string::npos) << log_[0];
  ASSERT_TRUE(WaitFor([] { return Markers("started").size() == 1; }));
  decoder_->StopCwDecoder();
  EXPECT_TRUE(WaitFor([] { return Markers("terminated").size() == 1; }));
}

}  // namespace
