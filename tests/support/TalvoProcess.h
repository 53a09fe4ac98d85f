#pragma once

// Starts a real TalvoServer for a test: its own TALVO_HOME, Qt's offscreen platform, its errors on
// the test's standard error.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <string>

inline void StartServerProcess(QProcess& server, const QString& program, const std::string& home) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("TALVO_HOME", QString::fromStdString(home));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  server.setProcessEnvironment(env);
  server.setProgram(program);
  server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  server.start();
  ASSERT_TRUE(server.waitForStarted(10000));
}
