// The real TalvoServer program, started as a process against the simulated K2, driven by a test
// client that speaks the protocol over loopback.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/AudioFrame.h"
#include "common/Utils.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/LineClient.h"
#include "tests/support/Mp3Reference.h"
#include "tests/support/k2sim/K2Simulator.h"

namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The MD5 digest as md5sum computes it, upper case: an outside check of the login.
std::string Md5sum(const std::string& text, const std::string& folder) {
  std::string path = folder + "/digest-input";
  std::ofstream(path, std::ios::binary) << text;
  FILE* p = popen(("md5sum " + path).c_str(), "r");
  char buf[33] = {};
  std::size_t n = p ? fread(buf, 1, 32, p) : 0;
  if (p) pclose(p);
  std::string hex(buf, n);
  for (char& c : hex) c = static_cast<char>(toupper(c));
  return hex;
}

int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

class ServerProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    home_ = std::string(std::getenv("TALVO_HOME")) + "/" + info->name();
    mkdir(home_.c_str(), 0700);
    ini_ = home_ + "/TalvoServer.ini";
    port_ = FreePort();
    sim_.Start();
    Ini("COMM", "Port", sim_.SlavePath());
    Ini("Control", "Port", std::to_string(port_));
    Ini("Control", "Address", "127.0.0.1");
    AddUser(1, "alice", "secret", 1);
    AddUser(2, "bob", "pw2", 0);
    AddUser(3, "carol", "top", 2);
    Ini("Messages", "Welcome", "You are connected to my K2.||You have %p access.");
    Ini("Messages", "Busy", "My K2 is busy. Please try again later.");
    Ini("Messages", "Logging Out", "Logging out. 73!");
  }

  void TearDown() override { Stop(); }

  void Ini(const std::string& section, const std::string& key, const std::string& value) {
    WriteIniString(ini_, section, key, value);
  }

  void AddUser(int n, const std::string& user, const std::string& password, int level) {
    Ini("Users", "User " + std::to_string(n), user);
    Ini("Passwords", user, Scramble(password, 2958));
    Ini("Privileges", user, std::to_string(level));
  }

  void Start() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TALVO_HOME", QString::fromStdString(home_));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    server_.setProcessEnvironment(env);
    server_.setProgram(QStringLiteral(TALVO_SERVER_BINARY));
    server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server_.start();
    ASSERT_TRUE(server_.waitForStarted(10000));
  }

  void Stop() {
    if (server_.state() == QProcess::NotRunning) return;
    ::kill(static_cast<pid_t>(server_.processId()), SIGTERM);
    if (!server_.waitForFinished(15000)) {
      server_.kill();
      server_.waitForFinished(5000);
    }
  }

  // Connects, reads the banner and logs in; the banner, or "" on failure.
  std::string Login(LineClient& client, const std::string& user, const std::string& password) {
    if (!client.Connect(port_, 15000)) return "";
    std::string banner = client.ReadLine(10000);
    client.SendLine("auth " + user + " " + ToLower(Md5sum(banner + password, home_)));
    return banner;
  }

  // Starts the server and logs user in; the "PRIV" line that starts the session.
  std::string StartSession(LineClient& client, const std::string& user,
                           const std::string& password) {
    Start();
    Login(client, user, password);
    return client.WaitFor("PRIV", 10000);
  }

  static std::string ToLower(std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(c));
    return s;
  }

  std::string home_, ini_;
  int port_ = 0;
  k2sim::K2Simulator sim_;
  QProcess server_;
};

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
  // The radio is released: "KY @;" in the Morse modes (the simulated K2 starts in CW).
  EXPECT_TRUE(sim_.WaitForCommand("KY @;", 10000));

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
  Start();
  std::string rightDigest;
  {
    LineClient client;
    std::string banner = Login(client, "alice", "wrong");
    rightDigest = Md5sum(banner + "secret", home_);
    EXPECT_EQ(client.ReadLine(5000), "# Authentication failed");
    EXPECT_TRUE(client.WaitClosed(5000));
  }
  {
    // Not in [Users]: refused even with the digest of an empty password.
    LineClient client;
    Login(client, "mallory", "");
    EXPECT_EQ(client.ReadLine(5000), "# Authentication failed");
    EXPECT_TRUE(client.WaitClosed(5000));
  }
  {
    LineClient client;
    ASSERT_TRUE(client.Connect(port_));
    client.ReadLine();
    client.SendLine("AUTH");
    EXPECT_EQ(client.ReadLine(5000), "# Authentication failed");
    EXPECT_TRUE(client.WaitClosed(5000));
  }
  {
    LineClient client;
    ASSERT_TRUE(client.Connect(port_));
    client.ReadLine();
    client.SendLine("HELLO");
    EXPECT_TRUE(client.WaitClosed(5000));
  }
  Ini("Users", "Allow guests", "1");
  {
    LineClient client;
    ASSERT_TRUE(client.Connect(port_));
    client.ReadLine();
    client.SendLine("AUTH visitor");
    EXPECT_EQ(client.WaitFor("PRIV", 10000), "PRIV 0");
  }
  std::string log = Contents(home_ + "/TalvoServer.log");
  EXPECT_NE(log.find("] Authentication failed [alice  "), std::string::npos) << log;
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
  EXPECT_NE(log.find("bytes; connection closed"), std::string::npos) << log;
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

TEST_F(ServerProgram, CloseFromAFullUserEndsTheProgramOnTheNextTick) {
  Start();
  LineClient client;
  Login(client, "carol", "top");
  EXPECT_EQ(client.WaitFor("PRIV", 10000), "PRIV 2");
  client.SendLine("c");  // a short form of CLOSE
  EXPECT_TRUE(client.WaitClosed(5000));
  ASSERT_TRUE(server_.waitForFinished(10000));
  EXPECT_EQ(server_.exitCode(), 0);
}

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

TEST_F(ServerProgram, CallerWithoutLoginIsClosedAfterThirtySeconds) {
  Start();
  LineClient client;
  ASSERT_TRUE(client.Connect(port_, 15000));
  client.ReadLine(10000);
  EXPECT_FALSE(client.WaitClosed(25000));
  EXPECT_TRUE(client.WaitClosed(15000));
  platform::WaitMessages(300);
  EXPECT_NE(Contents(home_ + "/TalvoServer.log").find("] Login timed out"), std::string::npos);
}

TEST_F(ServerProgram, SigtermEndsInOrderAndTheLogSurvivesARestart) {
  Start();
  LineClient client;
  ASSERT_TRUE(client.Connect(port_, 15000));
  client.ReadLine();
  client.Close();
  platform::WaitMessages(300);
  ::kill(static_cast<pid_t>(server_.processId()), SIGTERM);
  ASSERT_TRUE(server_.waitForFinished(15000));
  EXPECT_EQ(server_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(server_.exitCode(), 0);
  EXPECT_NE(ReadIniString(ini_, "General", "Left", ""), "");
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
  std::uint32_t previous = 0;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    std::uint32_t stamp = 0;
    ASSERT_TRUE(CheckAudioFrame(frames[i], stamp)) << i;
    if (i > 0) {
      EXPECT_GE(stamp - previous, 60u);  // about one block apart
      EXPECT_LE(stamp - previous, 400u);
    }
    previous = stamp;
    const auto payload = AuPayload(frames[i]);
    EXPECT_LE(payload.size(), 2u * 145u);  // one or two frames of 144 bytes (or 145, padded)
    stream.insert(stream.end(), payload.begin(), payload.end());
  }
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
  // A second later, all stamped as if only 400 ms had passed: 600 ms late, dropped.
  send(b, last + 400, 0);
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
  EXPECT_NE(log.find("\tReceive audio failed: WaveIn-Open "), std::string::npos) << log;
}

}  // namespace
