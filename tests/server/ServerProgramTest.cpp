// The real TalvoServer program, started as a process against the simulated K2, driven by a test
// client that speaks the protocol over loopback.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "common/AudioFrame.h"
#include "platform/ProgramWindow.h"
#include "platform/Tick.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/Mp3Reference.h"
#include "tests/support/ServerProgram.h"

namespace {

using namespace server_program;
using testsupport::WaitFor;

// The server's windows on the X display: Qt names their class after the application.
constexpr const char* kServerWindowClass = "Talvo Server";

TEST_F(ServerProgram, LoginWelcomeRadioWordsAndLogOut) {
  Start();
  LineClient client;
  std::string banner = Login(client, "alice", "secret");
  EXPECT_EQ(banner.rfind("Talvo Server 1.0 Date: ", 0), 0u) << banner;
  EXPECT_NE(banner.find(" Time: "), std::string::npos);

  // The start-up commands reach the radio; its answer starts the session.
  EXPECT_TRUE(sim_.WaitForCommand("PS;", 10000));
  EXPECT_TRUE(sim_.WaitForCommand("AI3;", 10000));
  EXPECT_EQ(client.ReadLine(10000), "# You are connected to my K2.||You have TX/RX access.");
  EXPECT_EQ(client.ReadLine(5000), "PRIV 1");

  // As the client does after its login: display reports, which poll the radio every 500 ms.
  client.SendLine("DISP ON");
  EXPECT_EQ(client.WaitFor("MODE", 10000), "MODE CW");
  client.SendLine("FREQ 14060");
  EXPECT_TRUE(sim_.WaitForCommand("FA00014060000;", 10000));
  EXPECT_EQ(client.WaitFor("FREQ 14060.000", 10000), "FREQ 14060.000");

  // A second caller is turned away; the session goes on.
  LineClient second;
  ASSERT_TRUE(second.Connect(port_));
  EXPECT_EQ(second.ReadLine(5000).rfind("Talvo Server 1.0 Date: ", 0), 0u);
  EXPECT_EQ(second.ReadLine(5000), "# My K2 is busy. Please try again later.");
  EXPECT_TRUE(second.WaitClosed(5000));

  client.SendLine("LOG K1ABC <CALL:5>K1ABC<BAND:3>20m<EOR>");
  client.SendLine("close");  // TX/RX may not shut the server down
  EXPECT_EQ(client.WaitFor("# ", 5000), "# You have TX/RX access.||Action disallowed.");
  std::string adif = Contents(home_ + "/TalvoServer.adi");
  EXPECT_NE(adif.find("<EOH>\r\n<CALL:5>K1ABC<BAND:3>20m<EOR>\r\n"), std::string::npos) << adif;

  client.SendLine("BYE");
  EXPECT_EQ(client.WaitFor("# ", 5000), "# Logging out. 73!");
  EXPECT_TRUE(client.WaitClosed(5000));
  // The radio is released: "KY @;RX;" in the Morse modes (the simulated K2 starts in CW).
  EXPECT_TRUE(sim_.WaitForCommand("KY @;", 10000));
  EXPECT_TRUE(sim_.WaitForCommand("RX;", 10000));

  // The release reaches the radio before the server logs the end of the session.
  std::string log;
  for (int waited = 0; waited < 10000; waited += 50) {
    log = Contents(home_ + "/TalvoServer.log");
    if (log.find("] Disconnected\r\n") != std::string::npos) break;
    platform::WaitMessages(50);
  }
  EXPECT_NE(log.find("\t[127.0.0.1] Connection accepted\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\t[127.0.0.1] Connection from alice\r\n"), std::string::npos);
  EXPECT_NE(log.find("\t[127.0.0.1] Connection refused - server busy\r\n"), std::string::npos);
  EXPECT_NE(log.find("\tContact logged: K1ABC\r\n"), std::string::npos);
  EXPECT_NE(log.find("\t[127.0.0.1] Disconnected\r\n"), std::string::npos);
}

TEST_F(ServerProgram, AccessLevelsAreEnforcedByTheServer) {
  Start();
  LineClient client;
  Login(client, "bob", "pw2");
  EXPECT_EQ(client.WaitFor("PRIV", 10000), "PRIV 0");
  sim_.ClearCommandLog();
  client.SendLine("CAT TX;");
  EXPECT_EQ(client.WaitFor("# ", 5000), "# You have RX only access.||Action disallowed.");
  client.SendLine("CAT SW05;");  // a button only "Full" may press
  EXPECT_EQ(client.WaitFor("# ", 5000), "# You have RX only access.||Action disallowed.");
  client.SendLine("CAT UP1;");  // tuning is for everyone
  EXPECT_TRUE(sim_.WaitForCommand("UP1;", 10000));
  for (const auto& c : sim_.CommandLog()) {
    EXPECT_NE(c, "TX;");
    EXPECT_NE(c, "SW05;");
  }
  client.SendLine("TX");
  EXPECT_EQ(client.WaitFor("# ", 5000), "# You have RX only access.||Action disallowed.");
}

TEST_F(ServerProgram, FailedLoginsAndGuests) {
  Ini("Users", "Allow guests", "1");
  Start();
  // Each failure puts the address in a back-off; a guest's login between them clears it.
  auto guest = [&] {
    LineClient client;
    ASSERT_NE("", ConnectAdmitted(client));
    client.SendLine("AUTH visitor");
    EXPECT_EQ(client.WaitFor("PRIV", 10000), "PRIV 0");
    client.SendLine("BYE");
    EXPECT_TRUE(client.WaitClosed(5000));
  };
  std::string rightDigest;
  {
    LineClient client;
    std::string banner = Login(client, "alice", "wrong");
    rightDigest = Md5sum(banner + "secret", home_);
    EXPECT_EQ(client.ReadLine(5000), "# Authentication failed");
    EXPECT_TRUE(client.WaitClosed(5000));
  }
  guest();
  {
    // Not in [Users]: refused even with the digest of an empty password.
    LineClient client;
    ASSERT_NE("", ConnectAdmitted(client));
    client.SendLine("AUTH mallory " + Md5sum("x", home_));
    EXPECT_EQ(client.ReadLine(5000), "# Authentication failed");
    EXPECT_TRUE(client.WaitClosed(5000));
  }
  guest();
  {
    LineClient client;
    ASSERT_NE("", ConnectAdmitted(client));
    client.SendLine("AUTH");
    EXPECT_EQ(client.ReadLine(5000), "# Authentication failed");
    EXPECT_TRUE(client.WaitClosed(5000));
  }
  guest();
  {
    LineClient client;
    ASSERT_NE("", ConnectAdmitted(client));
    client.SendLine("HELLO");
    EXPECT_TRUE(client.WaitClosed(5000));
  }
  std::string log = WaitLog("] Invalid command");
  EXPECT_NE(log.find("] Authentication failed [alice    ]"), std::string::npos) << log;
  EXPECT_EQ(log.find(rightDigest), std::string::npos);  // no help for guessing offline
  EXPECT_NE(log.find("] Invalid command \"HELLO\" on connection"), std::string::npos);
  EXPECT_NE(log.find("] Connection from Guest (visitor)"), std::string::npos);
}

TEST_F(ServerProgram, FramingAcrossReadsAndOverlongLines) {
  Start();
  LineClient client;
  Login(client, "carol", "top");
  EXPECT_EQ(client.WaitFor("PRIV", 10000), "PRIV 2");
  client.SendLine("DISP ON");
  client.Send("FREQ 7");
  platform::WaitMessages(100);
  client.Send("030\r");
  platform::WaitMessages(100);
  client.Send("\nNOOP\r\n");
  EXPECT_TRUE(sim_.WaitForCommand("FA00007030000;", 10000));
  EXPECT_EQ(client.WaitFor("FREQ 7030.000", 10000), "FREQ 7030.000");

  client.Send(std::string(1 << 20, 'x'));
  EXPECT_TRUE(client.WaitClosed(10000));
  std::string log = Contents(home_ + "/TalvoServer.log");
  EXPECT_NE(log.find("bytes); connection closed"), std::string::npos) << log;
}

TEST_F(ServerProgram, AddressMaskRefusesSilently) {
  Ini("Access Control", "Address Mask 1", "10.*");
  Start();
  LineClient client;
  ASSERT_TRUE(client.Connect(port_, 15000));
  EXPECT_EQ(client.ReadLine(5000), "<closed>");
  platform::WaitMessages(300);
  std::string log = Contents(home_ + "/TalvoServer.log");
  EXPECT_NE(log.find("[127.0.0.1] Connection refused - address not allowed"), std::string::npos);
}

// CLOSE from a Full user ends the program on the next tick. However the program ends, the
// session ends first: the radio is released and the end logged before the process exits.
TEST_F(ServerProgram, CloseOrSigtermDuringASessionReleasesTheRadioFirst) {
  sim_.Panel([](k2sim::K2State& radio) { radio.mode = 2; });  // USB: the release is "RX;"
  for (const bool signal : {false, true}) {
    sim_.ClearCommandLog();
    LineClient client;
    ASSERT_EQ(StartSession(client, "carol", "top"), "PRIV 2");
    client.SendLine("TX");
    ASSERT_TRUE(sim_.WaitForCommand("TX;", 10000));
    std::remove((home_ + "/TalvoServer.log").c_str());
    if (signal) ::kill(static_cast<pid_t>(server_.processId()), SIGTERM);
    if (!signal) client.SendLine("c");  // a short form of CLOSE
    EXPECT_TRUE(client.WaitClosed(5000));
    ASSERT_TRUE(WaitTalvoProcessEnded(server_, 10000));
    EXPECT_EQ(server_.exitCode(), 0);
    EXPECT_TRUE(sim_.WaitForCommand("RX;", 5000));
    EXPECT_EQ(sim_.CommandLog().back(), "RX;") << signal;
    EXPECT_NE(Contents(home_ + "/TalvoServer.log").find("] Disconnected\r\n"), std::string::npos);
  }
}

// On an X display closing the window asks "Close Talvo Server?". A termination signal while the
// question is open, unanswered, closes it as if answered Yes: the session ends with the release
// and the program ends.
class ServerProgramOnDisplay : public ServerProgram {};

TEST_F(ServerProgramOnDisplay, ASignalWhileTheCloseQuestionIsOpenReleasesTheRadioAndEnds) {
  if (std::getenv("TALVO_TEST_DISPLAY") == nullptr)
    GTEST_SKIP() << "needs the X display: server_program_x11_test";
  struct Row {
    int signal;
    int mode;
    std::vector<std::string> release;
  };
  const Row rows[] = {
      {SIGTERM, 2, {"RX;"}},          // USB
      {SIGINT, 1, {"RX;"}},           // LSB
      {SIGHUP, 3, {"KY @;", "RX;"}},  // CW: the keyer emptied, then receive
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(strsignal(row.signal));
    sim_.Panel([&](k2sim::K2State& radio) { radio.mode = row.mode; });
    LineClient client;
    Start(QStringLiteral("xcb"));
    Login(client, "carol", "top");
    ASSERT_EQ(client.WaitFor("PRIV", 10000), "PRIV 2");
    sim_.ClearCommandLog();
    client.SendLine("TX");
    ASSERT_TRUE(sim_.WaitForCommand("TX;", 10000));
    // In CW the release empties the keyer first, by the mode the radio reported: wait for it.
    if (row.mode == 3 && ("\n" + client.Seen()).find("\nMODE CW") == std::string::npos) {
      ASSERT_EQ(client.WaitFor("MODE CW", 10000), "MODE CW");
    }
    std::remove((home_ + "/TalvoServer.log").c_str());

    // The close box, as a window manager sends it; the question is a window of its own.
    std::vector<platform::ProgramWindow> shown;
    ASSERT_TRUE(WaitFor(
        [&] {
          shown = platform::FindProgramWindows(kServerWindowClass, {});
          return !shown.empty();
        },
        10000));
    for (const auto& w : shown) platform::CloseProgramWindow(w);
    ASSERT_TRUE(WaitFor(
        [&] { return platform::FindProgramWindows(kServerWindowClass, {}).size() > shown.size(); },
        10000));
    platform::WaitMessages(300);
    ASSERT_EQ(server_.state(), QProcess::Running);

    const std::uint32_t signalled = platform::GetTickCount();
    ::kill(static_cast<pid_t>(server_.processId()), row.signal);
    EXPECT_TRUE(client.WaitClosed(5000));
    ASSERT_TRUE(WaitTalvoProcessEnded(server_, 10000));
    EXPECT_LT(platform::GetTickCount() - signalled, 3000u);
    EXPECT_EQ(server_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server_.exitCode(), 0);
    const auto commands = sim_.CommandLog();
    ASSERT_GE(commands.size(), row.release.size());
    EXPECT_EQ(std::vector<std::string>(
                  commands.end() - static_cast<std::ptrdiff_t>(row.release.size()), commands.end()),
              row.release);
    EXPECT_NE(Contents(home_ + "/TalvoServer.log").find("] Disconnected\r\n"), std::string::npos);
  }
}

// The caller on another host whose link dies without a word while the operator transmits and
// nothing is said: the radio is released, the end logged and the slot free within a minute.
TEST_F(ServerProgram, ALinkThatDiesWithoutAWordEndsTheSessionWithinAMinute) {
  if (geteuid() != 0 || !link_.Make())
    GTEST_SKIP() << "cannot make network namespaces: needs root and iproute2";
  sim_.Panel([](k2sim::K2State& radio) { radio.mode = 2; });  // USB: the release is "RX;"
  Ini("Control", "Address", address_ = "10.61.0.1");
  LineClient client;
  {
    InNetns caller(link_.caller);
    ASSERT_EQ(StartSession(client, "carol", "top"), "PRIV 2");
  }
  client.SendLine("TX");
  ASSERT_TRUE(sim_.WaitForCommand("TX;", 10000));
  platform::WaitMessages(1000);
  sim_.ClearCommandLog();
  ASSERT_TRUE(link_.Blackhole("add"));
  const std::uint32_t cut = platform::GetTickCount();
  const std::string ended = "\t[10.61.0.2] Disconnected\r\n";
  EXPECT_NE(WaitLog(ended, 60000).find(ended), std::string::npos);
  // The release is written before the end is logged, but reaches the radio a moment later.
  EXPECT_TRUE(sim_.WaitForCommand("RX;", 5000));
  EXPECT_EQ(sim_.CommandLog(), std::vector<std::string>{"RX;"});
  ASSERT_TRUE(link_.Blackhole("del"));
  LineClient again;
  InNetns caller(link_.caller);
  Login(again, "carol", "top");
  EXPECT_EQ(again.WaitFor("PRIV", 10000), "PRIV 2");
  EXPECT_LT(platform::GetTickCount() - cut, 60000u);
}

// A 40 s outage in the path, with status waiting to go out all through it, ends and the same
// session goes on: the radio kept, the status that waited delivered.
TEST_F(ServerProgram, AnOutageOfFortySecondsThatEndsKeepsTheSessionAndTheRadio) {
  if (geteuid() != 0 || !link_.MakeRouted())
    GTEST_SKIP() << "cannot make network namespaces: needs root and iproute2";
  if (!RetransmitMaxOffered())
    GTEST_SKIP() << "this kernel cannot cap the retransmission interval (TCP_RTO_MAX_MS)";
  sim_.Panel([](k2sim::K2State& radio) { radio.mode = 2; });
  Ini("Control", "Address", address_ = "10.61.0.1");
  LineClient client;
  InNetns caller(link_.caller);
  ASSERT_EQ(StartSession(client, "carol", "top"), "PRIV 2");
  client.SendLine("DISP ON");
  client.SendLine("TX");
  ASSERT_TRUE(sim_.WaitForCommand("TX;", 10000));
  ASSERT_NE(client.WaitFor("FREQ", 10000), "<timeout>");
  sim_.ClearCommandLog();
  ASSERT_TRUE(link_.Outage("add"));
  std::int64_t hz = 14000000;
  for (int s = 0; s < 40; ++s) {  // the dial turns: a new frequency to report every second
    sim_.Panel([&](k2sim::K2State& radio) { radio.vfoA = hz += 1000; });
    platform::WaitMessages(1000);
  }
  ASSERT_TRUE(link_.Outage("del"));
  const std::string last = "FREQ " + std::to_string(hz / 1000) + ".000";
  EXPECT_EQ(client.WaitFor(last, 15000), last);
  client.SendLine("FREQ 7030");
  EXPECT_TRUE(sim_.WaitForCommand("FA00007030000;", 5000));
  const std::vector<std::string> log = sim_.CommandLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "RX;"), 0);
  EXPECT_EQ(Contents(home_ + "/TalvoServer.log").find("Disconnected"), std::string::npos);
}

// Receive audio of a steady tone with status beside it across a routed path: whether the blocks
// are thinned, and that audio and a new frequency stay fresh.
struct RoutedPathRow {
  const char* name;
  const char* shape;  // as scripts/netns-routed.sh takes it
  bool thinned;
  std::uint32_t from = 2000;   // the blocks counted: those stamped from here, for 10 s
  bool settles = false;        // thinned for a moment, whole again before them
  std::uint32_t ageMs = 3000;  // the newest block's age at most
  int freqMs = 5000;           // how long a new frequency takes at most
};

class RoutedPath : public ServerProgram, public ::testing::WithParamInterface<RoutedPathRow> {};

TEST_P(RoutedPath, ReceiveAudioIsThinnedOnlyWhereTheLinkIsSlowerThanTheAudio) {
  if (geteuid() != 0 || !link_.MakeRouted(GetParam().shape))
    GTEST_SKIP() << "cannot make the path: needs root, iproute2 and /dev/net/tun";
  const std::string in = home_ + "/capture.raw";
  // Longer than the blocks the latest row counts: they end 30 s after the first.
  audiotest::WriteFile(in, audiotest::Bytes(audiotest::Tone(8000 * 40, 1000, 8000)));
  audiotest::UseCaptureFile(in);
  setenv("TALVO_ALSA_PCM_OUT", "null", 1);
  Ini("Control", "Address", address_ = "10.61.0.1");
  LineClient client;
  InNetns caller(link_.caller);
  ASSERT_EQ(StartSession(client, "carol", "top"), "PRIV 2");
  unsetenv("TALVO_ALSA_PCM_IN");
  unsetenv("TALVO_ALSA_PCM_OUT");
  client.SendLine("DISP ON");
  client.SendLine("AU ON");
  // The blocks stamped in the row's 10 s: 80 when none is skipped.
  const std::uint32_t from = GetParam().from, to = from + 10000;
  std::uint32_t first = 0, stamp = 0;
  int blocks = 0;
  ASSERT_TRUE(CheckAudioFrame(client.WaitFor("AU ", 10000).substr(3), first));
  for (stamp = first; stamp - first < to;) {
    ASSERT_TRUE(CheckAudioFrame(client.WaitFor("AU ", 5000).substr(3), stamp));
    blocks += stamp - first >= from && stamp - first < to;
  }
  EXPECT_LT(platform::GetTickCount() - stamp, GetParam().ageMs);
  sim_.Panel([](k2sim::K2State& radio) { radio.vfoA = 7012000; });
  EXPECT_EQ(client.WaitFor("FREQ 7012.000", GetParam().freqMs), "FREQ 7012.000");
  const std::string log = Contents(home_ + "/TalvoServer.log");
  const bool thinned = log.find("] Receive audio thinned") != std::string::npos;
  if (GetParam().settles && thinned)
    EXPECT_NE(log.find("] Receive audio whole again"), std::string::npos) << log;
  else
    EXPECT_EQ(thinned, GetParam().thinned) << log;
  EXPECT_EQ(blocks >= 79, !GetParam().thinned) << blocks;
}

const RoutedPathRow kRoutedPaths[] = {
    {"LongFastPath", "--rtt 600 " TALVO_PATHDELAY_BINARY, false},  // a satellite hop
    {"SlowRouterQueue", "--rate 12", true},  // 12 kbit/s, 2 s of queue before it
    // A short path whose round trip grows to 1 s about 10 s into the audio (a mobile cell that
    // others' traffic fills): at most a moment's thinning while the system's window grows, and
    // from 10 s after the step every block.
    {"GrowingRoundTrip", "--rtt 0 " TALVO_PATHDELAY_BINARY " --grow 12 1000", false, 20000, true},
    // A little slower than the audio: fresher than the router's queue, which holds 2 s.
    {"RouterQueue20kbit", "--rate 20", true, 2000, false, 1500, 2000},
    // The same step at once: about 2 s after the login.
    {"RoundTripGrownAtOnce", "--rtt 0 " TALVO_PATHDELAY_BINARY " --grow 3 1000", false, 12000,
     true},
    // A round trip that wanders between 50 and 850 ms over seconds (a cell others fill and
    // empty): every block, and nothing said of a slow link.
    {"WanderingRoundTrip", "--rtt 0 " TALVO_PATHDELAY_BINARY " --wander 50 850", false, 2000,
     false, 3000, 5000},
};
INSTANTIATE_TEST_SUITE_P(ServerProgram, RoutedPath, ::testing::ValuesIn(kRoutedPaths),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerProgram, NothingOfTheRadioReachesACallerBeforeItsLogin) {
  Start();
  LineClient client;
  ASSERT_TRUE(client.Connect(port_, 15000));
  std::string banner = client.ReadLine(10000);
  sim_.Inject("FA00007000000;IF00007000000     +00000000 00300001 01 ;", 300);
  EXPECT_EQ(client.ReadLine(2000), "<timeout>");
  client.SendLine("AUTH alice " + Md5sum(banner + "secret", home_));
  EXPECT_EQ(client.ReadLine(10000), "# You are connected to my K2.||You have TX/RX access.");
  EXPECT_EQ(client.ReadLine(5000), "PRIV 1");
}

TEST_F(ServerProgram, SigtermEndsInOrderAndTheLogSurvivesARestart) {
  Start();
  LineClient client;
  ASSERT_TRUE(client.Connect(port_, 15000));
  client.ReadLine();
  client.Close();
  platform::WaitMessages(300);
  ::kill(static_cast<pid_t>(server_.processId()), SIGTERM);
  ASSERT_TRUE(WaitTalvoProcessEnded(server_, 15000));
  EXPECT_EQ(server_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(server_.exitCode(), 0);
  EXPECT_NE(ReadIniString(ini_, "General", "Left", ""), "");
  EXPECT_EQ(sim_.CommandCount(), 0u);  // a caller who never logged in touches not the radio
  std::string first = Contents(home_ + "/TalvoServer.log");
  EXPECT_NE(first.find("Connection accepted"), std::string::npos);

  Start();
  ASSERT_TRUE(client.Connect(port_, 15000));
  client.ReadLine();
  client.Close();
  platform::WaitMessages(300);
  Stop();
  std::string second = Contents(home_ + "/TalvoServer.log");
  EXPECT_EQ(second.rfind(first, 0), 0u);  // earlier lines kept, new ones after them
  EXPECT_GT(second.size(), first.size());
}

// --- Audio, with ALSA's file plugin as the sound card on both sides
// ---------------------------------

std::vector<std::uint8_t> AuPayload(const std::string& frame) {
  std::vector<std::uint8_t> bytes(frame.size());
  const std::int32_t n = DecodeAudioFrame(frame, bytes.data());
  bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return bytes;
}

TEST_F(ServerProgram, ReceiveAudioStreamsTheToneAndTheSquelchSendsOnlyTheTail) {
  using namespace audiotest;
  // Two seconds of 1 kHz (16 blocks), then silence.
  const std::string in = home_ + "/capture.raw";
  WriteFile(in, Bytes(Tone(16000, 1000, 8000)));
  UseCaptureFile(in);
  setenv("TALVO_ALSA_PCM_OUT", "null", 1);
  LineClient client;
  // Receive audio is for every access level.
  EXPECT_EQ(StartSession(client, "bob", "pw2"), "PRIV 0");
  client.SendLine("au on");
  std::vector<std::string> frames;
  for (;;) {
    std::string line = client.WaitFor("AU ", frames.empty() ? 10000 : 1500);
    if (line.rfind("AU ", 0) != 0) break;
    frames.push_back(line.substr(3));
  }
  unsetenv("TALVO_ALSA_PCM_IN");
  unsetenv("TALVO_ALSA_PCM_OUT");
  // 17 blocks sent (the tone and one quiet block as its tail); the encoder's look-ahead may
  // leave the first ones without a complete frame. Nothing follows in the silence.
  EXPECT_GE(frames.size(), 14u);
  EXPECT_LE(frames.size(), 17u);
  std::vector<std::uint8_t> stream;
  std::uint32_t first = 0, previous = 0;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    std::uint32_t stamp = 0;
    ASSERT_TRUE(CheckAudioFrame(frames[i], stamp)) << i;
    if (i == 0) {
      first = stamp;
    } else {
      EXPECT_LE(stamp - previous, 400u);
    }
    previous = stamp;
    const auto payload = AuPayload(frames[i]);
    EXPECT_LE(payload.size(), 2u * 145u);  // one or two frames of 144 bytes (or 145, padded)
    stream.insert(stream.end(), payload.begin(), payload.end());
  }
  // A block apart on the whole: a busy machine may hand two captured blocks over at once.
  EXPECT_GE((previous - first) / (frames.size() - 1), 100u);
  const auto pcm = mp3ref::Decode(stream, 8000);
  ASSERT_GT(pcm.size(), 12000u);
  EXPECT_NEAR(StrongestFrequency(pcm, 4000, 4000, 500, 1500), 1000, 2);
  EXPECT_GT(FitTone(pcm, 4000, 4000, 1000).snrDb, 15);
  client.SendLine("AU OFF");
  client.SendLine("FREQ 14060");  // the session goes on
  EXPECT_TRUE(sim_.WaitForCommand("FA00014060000;", 10000));
}

TEST_F(ServerProgram, TransmitAudioIsPlayedAndLateFramesAreDropped) {
  using namespace audiotest;
  const std::string out = home_ + "/playback.raw";
  UsePlaybackFile(out);
  setenv("TALVO_ALSA_PCM_IN", "null", 1);
  LineClient client;
  EXPECT_EQ(StartSession(client, "alice", "secret"), "PRIV 1");
  client.SendLine("AU ON");
  client.SendLine("NOOP");
  platform::WaitMessages(300);
  unsetenv("TALVO_ALSA_PCM_IN");
  unsetenv("TALVO_ALSA_PCM_OUT");

  // Frames of 144 bytes (72 ms each), stamped by a sender whose clock crosses bit 31.
  auto send = [&](const std::vector<std::uint8_t>& mp3, std::uint32_t stamp, std::uint32_t step) {
    for (std::size_t at = 0; at < mp3.size(); at += 144, stamp += step) {
      std::string frame = EncodeAudioFrame(
          mp3.data() + at, static_cast<std::int32_t>(std::min<std::size_t>(144, mp3.size() - at)));
      char hex[9];
      std::snprintf(hex, sizeof hex, "%08X", stamp);
      frame.replace(0, 8, hex);
      client.SendLine("AU DATA " + frame);
    }
    return stamp;
  };
  const auto a = mp3ref::Encode(Tone(8000, 700, 8000), 8000, 16);
  const auto b = mp3ref::Encode(Tone(4000, 1300, 8000), 8000, 16);
  const auto c = mp3ref::Encode(Tone(8000, 1000, 8000), 8000, 16);
  // In time: the stamps run ahead of the arrival.
  const std::uint32_t last = send(a, 0x7FFFFE00u, 72) - 72;
  platform::WaitMessages(1000);
  // A second later, stamped on from the last as if no time had passed: a stream a second behind,
  // dropped, though the card has run short meanwhile.
  send(b, last + 72, 0);
  // Stamped 950 ms on: 50 ms late, within the 250 ms allowed.
  send(c, last + 950, 72);
  const std::size_t expected =
      (mp3ref::Decode(a, 8000).size() + mp3ref::Decode(c, 8000).size()) * 2;
  // The sound card's last 400 ms reach the file when the device closes.
  EXPECT_TRUE(WaitFor([&] { return ReadFile(out).size() + 6400 >= expected; }, 15000));
  client.SendLine("AU OFF");
  EXPECT_TRUE(WaitFor([&] { return ReadFile(out).size() >= expected; }, 10000));
  const auto pcm = Samples(ReadFile(out));
  const double a700 = FitTone(pcm, 0, pcm.size(), 700).amplitude;
  const double a1000 = FitTone(pcm, 0, pcm.size(), 1000).amplitude;
  const double a1300 = FitTone(pcm, 0, pcm.size(), 1300).amplitude;
  EXPECT_GT(a700, 1500);
  EXPECT_GT(a1000, 1500);
  EXPECT_LT(a1300, 150);
}

// A client that stops reading while status and audio wait for it is cut off as at any session
// end: the radio released, the end logged, the sound card let go, the slot free.
TEST_F(ServerProgram, AClientThatStopsReadingIsCutOffAndTheRadioReleased) {
  using namespace audiotest;
  const std::string in = home_ + "/capture.raw", out = home_ + "/playback.raw";
  WriteFile(in, Bytes(Tone(8000 * 30, 1000, 8000)));
  UseCaptureFile(in);
  UsePlaybackFile(out);
  setenv("TALVO_SEND_STALL_MS", "3000", 1);
  LineClient client;
  client.SetReceiveBuffer(1024);
  EXPECT_EQ(StartSession(client, "carol", "top"), "PRIV 2");
  for (const char* name : {"TALVO_ALSA_PCM_IN", "TALVO_ALSA_PCM_OUT", "TALVO_SEND_STALL_MS"})
    unsetenv(name);
  const std::string fds = "/proc/" + std::to_string(server_.processId()) + "/fd";
  auto playbackOpen = [&, e = std::error_code()]() mutable {
    for (const auto& fd : std::filesystem::directory_iterator(fds, e))
      if (std::filesystem::read_symlink(fd, e) == out) return true;
    return false;
  };
  client.Send("DISP ON\r\nAU ON\r\nTX\r\n");  // and from here on reads nothing
  ASSERT_TRUE(sim_.WaitForCommand("TX;", 10000));
  EXPECT_TRUE(WaitFor(playbackOpen, 5000));
  const std::string log = WaitLog("] Disconnected", 30000);
  EXPECT_NE(log.find("taken nothing for 3 s; connection closed"), std::string::npos) << log;
  EXPECT_TRUE(sim_.WaitForCommand("RX;", 5000));
  EXPECT_FALSE(playbackOpen());
  LineClient next;
  Login(next, "alice", "secret");
  EXPECT_EQ(next.WaitFor("PRIV", 10000), "PRIV 1");
}

TEST_F(ServerProgram, ASoundCardThatCannotOpenIsReportedAndTheSessionGoesOn) {
  setenv("TALVO_ALSA_PCM", "talvo_no_such_device", 1);
  LineClient client;
  EXPECT_EQ(StartSession(client, "carol", "top"), "PRIV 2");
  client.SendLine("AU ON");
  EXPECT_EQ(client.WaitFor("# ", 10000).rfind("# Receive audio is not available.||WaveIn-Open ", 0),
            0u);
  EXPECT_EQ(
      client.WaitFor("# ", 10000).rfind("# Transmit audio is not available.||WaveOutOpen ", 0), 0u);
  unsetenv("TALVO_ALSA_PCM");
  client.SendLine("AUDIO SING");
  EXPECT_EQ(client.WaitFor("# ", 5000), "# Invalid command \"AUDIO SING\"");
  client.SendLine("FREQ 14060");
  EXPECT_TRUE(sim_.WaitForCommand("FA00014060000;", 10000));
  platform::WaitMessages(300);
  std::string log = Contents(home_ + "/TalvoServer.log");
  EXPECT_NE(log.find("\t[127.0.0.1] Receive audio failed: WaveIn-Open "), std::string::npos) << log;
}

}  // namespace
