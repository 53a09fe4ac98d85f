#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QProcess>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "client/ClientAudio.h"
#include "client/ClientSession.h"
#include "tests/support/FileContents.h"
#include "tests/support/WaitFor.h"

// A folder of its own for the running test, inside the temporary TALVO_HOME.
inline std::string TestHome() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string home = std::string(std::getenv("TALVO_HOME")) + "/" + info->name();
  mkdir(home.c_str(), 0700);
  return home;
}

inline constexpr auto& FileText = FileContents;

// The MD5 digest of the text as the md5sum program computes it, in upper case: a check of the
// login that does not use the program's own digest code.
inline std::string OutsideMd5(const std::string& text) {
  QProcess md5sum;
  md5sum.start(QStringLiteral("md5sum"), {});
  md5sum.write(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
  md5sum.closeWriteChannel();
  md5sum.waitForFinished(10000);
  return md5sum.readAllStandardOutput().left(32).toUpper().toStdString();
}

// Runs the session's connect to its end; whether the session went live.
inline bool ConnectAndWait(TClientSession& session, const std::string& name) {
  bool ended = false, live = false;
  session.ConnectTo(name, [&](bool result) {
    ended = true;
    live = result;
  });
  testsupport::WaitFor([&] { return ended; }, 60000);
  return live;
}

// Runs the orderly disconnect to its end.
inline void DisconnectAndWait(TClientSession& session) {
  bool ended = false;
  session.Disconnect([&] { ended = true; });
  testsupport::WaitFor([&] { return ended; }, 60000);
}

// The audio path's link to the session, recording what it sends.
struct FakeAudioLink : IAudioLink {
  bool Connected() const override { return connected; }
  bool AudioOn() const override { return audioOn; }
  void SetAudioOn(bool value) override { audioOn = value; }
  void SendCommand(const std::string& line) override { commands.push_back(line); }
  void SendRaw(const std::string& line) override { raw.push_back(line); }
  TLinkState SampleSendLink() override { return link; }
  bool connected = true;
  TLinkState link = TLinkState::Carries;  // what the path to the server says
  bool audioOn = false;
  std::vector<std::string> commands, raw;
};
