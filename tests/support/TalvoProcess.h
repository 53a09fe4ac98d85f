#pragma once

// Starts a real Talvo program (server or client) for a test: its own TALVO_HOME, Qt's offscreen
// platform (or the one named, such as "xcb" on the test's X display), its errors on the test's
// standard error. The program is killed when the test process dies, so that a test that aborts
// leaves nothing holding the test runner's output.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <string>

// platform: Qt's platform plugin, "xcb" for a test's X display. wrapper: a command that runs the
// program, such as "ip netns exec NAME".
inline void StartTalvoProcess(QProcess& process, const QString& program, const std::string& home,
                              const QString& platform = QStringLiteral("offscreen"),
                              QStringList wrapper = {}) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("TALVO_HOME", QString::fromStdString(home));
  env.insert("QT_QPA_PLATFORM", platform);
  process.setProcessEnvironment(env);
  if (!wrapper.isEmpty()) wrapper << program;
  process.setProgram(wrapper.isEmpty() ? program : wrapper.takeFirst());
  process.setArguments(wrapper);
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
  process.start();
  ASSERT_TRUE(process.waitForStarted(10000));
}

// True when the program has ended or ends within the time. A wait that pumped events may have seen
// the end already, and QProcess's own wait then answers false.
inline bool WaitTalvoProcessEnded(QProcess& process, int ms) {
  return process.state() == QProcess::NotRunning || process.waitForFinished(ms);
}
