#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "CwlinkSupport.h"
#include "common/Utils.h"
#include "platform/Library.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Tick.h"
#include "server/CwDecoder.h"

using namespace cwlink;

namespace {

std::string LibraryBeside() {
  return platform::ProgramFolder() + "libdxsoftex.so";
}

// Without a display: a decoder program started by the link stands for its window while it runs.
class CwDecoderTest : public testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("DISPLAY");
    ini_ = Home() + "server.ini";
    std::filesystem::remove(ini_);
    std::filesystem::remove(LibraryBeside());
  }
  void TearDown() override {
    decoder_.reset();
    KillDecoders();
    std::filesystem::remove(LibraryBeside());
  }

  void Make() {
    decoder_ = std::make_unique<TCwDecoder>(
        ini_, [this](const std::string& line) { lines_.push_back(line); },
        [this](const std::string& message) { log_.push_back(message); });
  }

  // Library, settings and decoder program in place, the link set up and its decoder running.
  void MakeRunning(FakeLibrary*& fake) {
    Install(FAKE_EXCHANGE, LibraryBeside());
    InstallDecoder("nowindow");
    WriteIniString(ini_, "CW Decoder", "Enable CW Decoder", "1");
    WriteIniString(ini_, "CW Decoder", "CWGet Path", DecoderPath());
    Make();
    ASSERT_TRUE(decoder_->Setup());
    fake_ = std::make_unique<FakeLibrary>();
    ASSERT_TRUE(fake_->Ok());
    fake_->Reset();
    decoder_->StartCwDecoder();
    ASSERT_TRUE(WaitFor([&] { return decoder_->CwDecoderRunning(); }));
    // The program is ready for SIGTERM once it has left its marker.
    ASSERT_TRUE(WaitFor([] { return Markers("started").size() == 1; }));
    fake = fake_.get();
  }

  // One timer tick's worth of forwarding; the line sent, or "" when none.
  std::string Tick() {
    std::size_t before = lines_.size();
    decoder_->ForwardDecodedText();
    return lines_.size() > before ? lines_.back() : std::string();
  }

  std::string ini_;
  std::unique_ptr<TCwDecoder> decoder_;
  std::unique_ptr<FakeLibrary> fake_;
  std::vector<std::string> lines_, log_;
};

TEST(Library, BareNamesMapToSharedObjectFiles) {
  EXPECT_EQ(platform::LibraryFileName("DXSOFTEX.DLL"), "libdxsoftex.so");
  EXPECT_EQ(platform::LibraryFileName("uxtheme.dll"), "libuxtheme.so");
  EXPECT_EQ(platform::LibraryFileName("libdxsoftex.so"), "libdxsoftex.so");
  EXPECT_EQ(platform::LibraryFileName("Foo"), "libfoo.so");
}

TEST_F(CwDecoderTest, LibraryIsLoadedBesideTheProgramButNeverFromTheCurrentFolder) {
  char* oldCwd = ::getcwd(nullptr, 0);
  std::string here = Home() + "cwd";
  std::filesystem::create_directories(here);
  Install(FAKE_EXCHANGE, here + "/libdxsoftex.so");
  ASSERT_EQ(::chdir(here.c_str()), 0);
  std::string error = "stale";
  platform::LibraryHandle none = platform::LoadLibrary("DXSOFTEX.DLL", &error);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(error, "");

  Install(FAKE_EXCHANGE, LibraryBeside());
  platform::LibraryHandle lib = platform::LoadLibrary("DXSOFTEX.DLL", &error);
  ASSERT_EQ(::chdir(oldCwd), 0);
  std::free(oldCwd);
  ASSERT_NE(lib, nullptr) << error;
  EXPECT_EQ(platform::LibraryPath(lib), LibraryBeside());
  EXPECT_NE(platform::GetProcAddress(lib, "_DxsoftExchangeInit"), nullptr);
  EXPECT_NE(platform::GetProcAddress(lib, "_DxsoftGetSymFromRxBuffer"), nullptr);
  EXPECT_EQ(platform::GetProcAddress(lib, "DxsoftExchangeInit"), nullptr);
  platform::FreeLibrary(lib);
  if (none) platform::FreeLibrary(none);
}

TEST_F(CwDecoderTest, BrokenLibraryIsReportedAndLeavesTheFeatureOff) {
  std::ofstream(LibraryBeside()) << "not a shared object\n";
  Make();
  EXPECT_FALSE(decoder_->Setup());
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_NE(log_[0].find("CW decoder library not loaded"), std::string::npos) << log_[0];
}

TEST_F(CwDecoderTest, MissingLibraryDisablesTheFeatureQuietly) {
  InstallDecoder("nowindow");
  WriteIniString(ini_, "CW Decoder", "Enable CW Decoder", "1");
  WriteIniString(ini_, "CW Decoder", "CWGet Path", DecoderPath());
  Make();
  EXPECT_FALSE(decoder_->Setup());
  EXPECT_FALSE(decoder_->CwDecoderAvailable());
  EXPECT_FALSE(decoder_->CwDecoderEnabled());
  EXPECT_EQ(decoder_->DecoderPath(), "");
  decoder_->StartCwDecoder();
  EXPECT_FALSE(decoder_->Starting());
  WaitFor([] { return false; }, 700);
  EXPECT_TRUE(Markers("started").empty());
  EXPECT_FALSE(decoder_->CwDecoderRunning());
  EXPECT_EQ(Tick(), "");
  decoder_->StopCwDecoder();
  EXPECT_TRUE(log_.empty());
}

TEST_F(CwDecoderTest, LibraryWithoutBothFunctionsIsNotAvailableAndStaysLoaded) {
  Install(HALF_EXCHANGE, LibraryBeside());
  WriteIniString(ini_, "CW Decoder", "Enable CW Decoder", "1");
  Make();
  EXPECT_FALSE(decoder_->Setup());
  EXPECT_FALSE(decoder_->CwDecoderEnabled());
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_NE(log_[0].find("_DxsoftGetSymFromRxBuffer"), std::string::npos) << log_[0];
  // Still loaded: a second load changes nothing.
  EXPECT_FALSE(decoder_->LoadCwDecoder());
  decoder_->UnloadCwDecoder();
}

TEST_F(CwDecoderTest, SetupReadsTheSettingsOnlyWhenTheLibraryIsThere) {
  Install(FAKE_EXCHANGE, LibraryBeside());
  WriteIniString(ini_, "cw decoder", "enable cw decoder", "1");
  WriteIniString(ini_, "CW Decoder", "CWGet Path", "/opt/decoder/cwget");
  Make();
  EXPECT_TRUE(decoder_->Setup());
  EXPECT_TRUE(decoder_->CwDecoderAvailable());
  EXPECT_TRUE(decoder_->CwDecoderEnabled());
  EXPECT_EQ(decoder_->DecoderPath(), "/opt/decoder/cwget");
  EXPECT_FALSE(decoder_->LoadCwDecoder());  // already loaded
  decoder_->UnloadCwDecoder();
  EXPECT_TRUE(decoder_->LoadCwDecoder());  // and loadable again after the unload

  WriteIniString(ini_, "CW Decoder", "Enable CW Decoder", "yes");
  Make();
  EXPECT_TRUE(decoder_->Setup());
  EXPECT_FALSE(decoder_->CwDecoderEnabled());
}

TEST_F(CwDecoderTest, DecodedTextReachesTheClientSplitOverTheTicksItArrivedIn) {
  FakeLibrary* fake = nullptr;
  ASSERT_NO_FATAL_FAILURE(MakeRunning(fake));
  EXPECT_EQ(fake->InitCalls(), 1);
  EXPECT_EQ(fake->LastMode(), 1);
  EXPECT_EQ(Tick(), "");
  fake->Feed("cq cq ");
  EXPECT_EQ(Tick(), "RXT cq cq \r\n");
  fake->Feed("de k1abc");
  EXPECT_EQ(Tick(), "RXT de k1abc\r\n");
  EXPECT_EQ(Tick(), "");
  EXPECT_EQ(lines_.size(), 2u);
}

TEST_F(CwDecoderTest, RunsOfBlanksEAndTPassOnlyTheirFirstThree) {
  FakeLibrary* fake = nullptr;
  ASSERT_NO_FATAL_FAILURE(MakeRunning(fake));
  fake->Feed(std::string(10, ' ') + "x");
  EXPECT_EQ(decoder_->CollectDecodedText(), "   x");
  fake->Feed("eeeeeeee");
  EXPECT_EQ(decoder_->CollectDecodedText(), "eee");
  fake->Feed("a");
  fake->Feed("eeee");
  EXPECT_EQ(decoder_->CollectDecodedText(), "aeee");
  // Mixed runs count together; upper case "E" and "T" break a run.
  fake->Feed("xte etEeeeTttt");
  EXPECT_EQ(decoder_->CollectDecodedText(), "xte EeeeTttt");
}

TEST_F(CwDecoderTest, TheRunCarriesAcrossTicksAndAnAcceptResetsIt) {
  FakeLibrary* fake = nullptr;
  ASSERT_NO_FATAL_FAILURE(MakeRunning(fake));
  fake->Feed("xee");
  EXPECT_EQ(Tick(), "RXT xee\r\n");
  fake->Feed("eeeX");
  EXPECT_EQ(Tick(), "RXT eX\r\n");
  fake->Feed("ttt");
  EXPECT_EQ(Tick(), "RXT ttt\r\n");
  EXPECT_EQ(decoder_->CwRunLength(), 3);
  fake->Feed("t");
  EXPECT_EQ(Tick(), "");  // all of it dropped: no line at all
  decoder_->SetCwRunLength(0);
  fake->Feed("tt");
  EXPECT_EQ(Tick(), "RXT tt\r\n");
}

TEST_F(CwDecoderTest, ControlCharactersNeverReachTheLine) {
  FakeLibrary* fake = nullptr;
  ASSERT_NO_FATAL_FAILURE(MakeRunning(fake));
  fake->Feed("cq\r\nde\x1b\x7f k1\tabc");
  EXPECT_EQ(Tick(), "RXT cqde k1abc\r\n");
  // Dropped characters leave a run alone.
  fake->Feed("e\re\ne\x7f e");
  EXPECT_EQ(Tick(), "RXT eee\r\n");
  // Only the low 8 bits count; 0 is skipped; 8-bit characters pass.
  fake->FeedValue(0x141);
  fake->FeedValue(0);
  fake->FeedValue(0x100);
  fake->FeedValue(0xE9);
  EXPECT_EQ(Tick(), "RXT A\xE9\r\n");
  fake->Feed("\r\n");
  EXPECT_EQ(Tick(), "");
}

TEST_F(CwDecoderTest, OneTickReadsABoundedNumberAndLeavesTheRestForTheNext) {
  FakeLibrary* fake = nullptr;
  ASSERT_NO_FATAL_FAILURE(MakeRunning(fake));
  fake->EndlessZeros(true);
  int before = fake->Reads();
  EXPECT_EQ(decoder_->CollectDecodedText(), "");
  EXPECT_EQ(fake->Reads() - before, TCwDecoder::kReadsPerTick);
  fake->EndlessZeros(false);

  std::string text;
  for (int i = 0; i < 700; ++i) text += static_cast<char>('a' + i % 26);
  fake->Feed(text);
  std::string first = decoder_->CollectDecodedText();
  EXPECT_EQ(first.size(), static_cast<std::size_t>(TCwDecoder::kReadsPerTick));
  EXPECT_EQ(first + decoder_->CollectDecodedText(), text);
}

TEST_F(CwDecoderTest, NothingIsReadWhileTheDecoderDoesNotRun) {
  FakeLibrary* fake = nullptr;
  ASSERT_NO_FATAL_FAILURE(MakeRunning(fake));
  decoder_->StopCwDecoder();
  EXPECT_FALSE(decoder_->CwDecoderRunning());
  fake->Feed("cq");
  int before = fake->Reads();
  EXPECT_EQ(Tick(), "");
  EXPECT_EQ(fake->Reads(), before);
  EXPECT_EQ(fake->Pending(), 2);
}

TEST_F(CwDecoderTest, AnExchangeThatDoesNotStartForwardsNothingUntilTheNextStart) {
  FakeLibrary* fake = nullptr;
  ASSERT_NO_FATAL_FAILURE(MakeRunning(fake));
  fake->Reset(0);
  fake->Feed("cq");
  decoder_->StartCwDecoder();  // the decoder still runs: adopted, the exchange tried at once
  EXPECT_FALSE(decoder_->Starting());
  EXPECT_EQ(fake->InitCalls(), 1);
  EXPECT_FALSE(decoder_->CwDecoderRunning());
  EXPECT_EQ(Tick(), "");
  EXPECT_NE(log_.back().find("exchange did not start"), std::string::npos);
  fake->Reset(1);
  fake->Feed("cq");
  decoder_->StartCwDecoder();
  EXPECT_TRUE(decoder_->CwDecoderRunning());
  EXPECT_EQ(Tick(), "RXT cq\r\n");
  EXPECT_EQ(Markers("started").size(), 1u);
}

TEST_F(CwDecoderTest, StartLaunchesTheProgramInItsFolderWithoutWaitingAndStopEndsIt) {
  Install(FAKE_EXCHANGE, LibraryBeside());
  InstallDecoder("nowindow");
  WriteIniString(ini_, "CW Decoder", "Enable CW Decoder", "1");
  WriteIniString(ini_, "CW Decoder", "CWGet Path", DecoderPath());
  Make();
  ASSERT_TRUE(decoder_->Setup());
  FakeLibrary fake;
  fake.Reset();

  std::uint32_t t0 = platform::GetTickCount();
  decoder_->StartCwDecoder();
  decoder_->StartCwDecoder();  // a second start while the first waits launches nothing more
  EXPECT_LT(platform::GetTickCount() - t0, 2000u);
  // The marker lands in the decoder's own folder: it runs there.
  ASSERT_TRUE(WaitFor([] { return Markers("started").size() == 1; }));
  ASSERT_TRUE(WaitFor([&] { return decoder_->CwDecoderRunning(); }));
  EXPECT_FALSE(decoder_->Starting());
  EXPECT_EQ(fake.InitCalls(), 1);
  long pid = Markers("started")[0];

  t0 = platform::GetTickCount();
  decoder_->StopCwDecoder();
  EXPECT_LT(platform::GetTickCount() - t0, 2000u);
  EXPECT_FALSE(decoder_->CwDecoderRunning());
  ASSERT_TRUE(WaitFor([] { return Markers("terminated").size() == 1; }));
  EXPECT_TRUE(WaitFor([&] { return !Alive(pid); }));

  // Back to Morse: a fresh program.
  decoder_->StartCwDecoder();
  ASSERT_TRUE(WaitFor([&] { return decoder_->CwDecoderRunning(); }));
  EXPECT_EQ(Markers("started").size(), 2u);
  EXPECT_EQ(fake.InitCalls(), 2);
  EXPECT_TRUE(log_.empty());
}

TEST_F(CwDecoderTest, StartingAgainRightAfterStopWaitsForTheOldProgramToGo) {
  FakeLibrary* fake = nullptr;
  ASSERT_NO_FATAL_FAILURE(MakeRunning(fake));
  decoder_->StopCwDecoder();
  decoder_->StartCwDecoder();
  ASSERT_TRUE(WaitFor([&] { return decoder_->CwDecoderRunning(); }));
  EXPECT_EQ(Markers("started").size(), 2u);
  EXPECT_EQ(Markers("terminated").size(), 1u);
  EXPECT_EQ(fake->InitCalls(), 2);
}

TEST_F(CwDecoderTest, MissingOrUnstartableProgramLeavesTheDecoderOffWithALogLine) {
  Install(FAKE_EXCHANGE, LibraryBeside());
  WriteIniString(ini_, "CW Decoder", "Enable CW Decoder", "1");
  WriteIniString(ini_, "CW Decoder", "CWGet Path", Home() + "nowhere/cwget");
  Make();
  ASSERT_TRUE(decoder_->Setup());
  decoder_->StartCwDecoder();
  EXPECT_FALSE(decoder_->Starting());
  EXPECT_FALSE(decoder_->CwDecoderRunning());
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_NE(log_[0].find("not found"), std::string::npos) << log_[0];

  // A file that is not a program is not opened with anything else either.
  InstallDecoder("nowindow");
  ::chmod(DecoderPath().c_str(), 0644);
  decoder_->SetDecoderPath(DecoderPath());
  decoder_->StartCwDecoder();
  EXPECT_FALSE(decoder_->Starting());
  ASSERT_EQ(log_.size(), 2u);
  EXPECT_NE(log_[1].find("not started"), std::string::npos) << log_[1];
  EXPECT_TRUE(Markers("started").empty());
}

TEST_F(CwDecoderTest, TheWaitForTheDecoderGivesUpAfterItsTimeout) {
  Install(FAKE_EXCHANGE, LibraryBeside());
  InstallDecoder("exit");
  WriteIniString(ini_, "CW Decoder", "CWGet Path", DecoderPath());
  Make();
  ASSERT_TRUE(decoder_->Setup());
  EXPECT_EQ(decoder_->StartTimeout(), 10000u);
  decoder_->SetStartTimeout(1500);
  FakeLibrary fake;
  fake.Reset();
  decoder_->StartCwDecoder();
  EXPECT_TRUE(decoder_->Starting());
  ASSERT_TRUE(WaitFor([&] { return !decoder_->Starting(); }));
  EXPECT_FALSE(decoder_->CwDecoderRunning());
  EXPECT_EQ(fake.InitCalls(), 0);
  EXPECT_EQ(Markers("started").size(), 1u);  // launched once, not again at every check
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_NE(log_[0].find("did not appear within 2 s"), std::string::npos) << log_[0];
}

TEST_F(CwDecoderTest, ProcessesAreRecognisedByIdAndStartTime) {
  InstallDecoder("nowindow");
  platform::ProcessId id = platform::StartProgram(DecoderPath(), DecoderFolder());
  ASSERT_TRUE(id);
  EXPECT_TRUE(platform::ProcessRunning(id));
  platform::ProcessId other = id;
  ++other.startTime;
  EXPECT_FALSE(platform::ProcessRunning(other));
  EXPECT_FALSE(platform::TerminateProcess(other));
  ASSERT_TRUE(WaitFor([] { return Markers("started").size() == 1; }));
  EXPECT_TRUE(platform::TerminateProcess(id));
  EXPECT_TRUE(WaitFor([&] { return !platform::ProcessRunning(id); }));
  EXPECT_FALSE(platform::TerminateProcess(id));
  std::string error;
  EXPECT_FALSE(platform::StartProgram(DecoderPath(), Home() + "no-such-folder", &error));
  EXPECT_NE(error.find("no such folder"), std::string::npos) << error;
}

// Run by a second test entry with LD_LIBRARY_PATH = ":" + the fake library's folder: the empty
// entry names the current folder, which must still be passed over.
TEST_F(CwDecoderTest, SearchPathSkipsTheCurrentFolder) {
  const char* dir = std::getenv("TALVO_CWLINK_LIBDIR");
  if (dir == nullptr) GTEST_SKIP() << "needs LD_LIBRARY_PATH set by its own test entry";
  char* oldCwd = ::getcwd(nullptr, 0);
  std::string here = Home() + "cwd";
  std::filesystem::create_directories(here);
  Install(HALF_EXCHANGE, here + "/libdxsoftex.so");
  ASSERT_EQ(::chdir(here.c_str()), 0);
  platform::LibraryHandle lib = platform::LoadLibrary("DXSOFTEX.DLL");
  ASSERT_EQ(::chdir(oldCwd), 0);
  std::free(oldCwd);
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(platform::LibraryPath(lib), std::string(dir) + "/libdxsoftex.so");
  platform::FreeLibrary(lib);

  // The copy beside the program comes first.
  Install(HALF_EXCHANGE, LibraryBeside());
  lib = platform::LoadLibrary("DXSOFTEX.DLL");
  EXPECT_EQ(platform::LibraryPath(lib), LibraryBeside());
  platform::FreeLibrary(lib);
}

}  // namespace
