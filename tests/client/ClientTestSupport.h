#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QProcess>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/FileContents.h"

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
