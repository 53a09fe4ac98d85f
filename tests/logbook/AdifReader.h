#pragma once

#include <QProcess>
#include <QStringList>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The fields of an ADIF file as an independent reader sees them (tests/logbook/adif-reader.sh):
// the header's under "H", each record's under its number from "0". Field names in lower case.
// Empty when the reader could not run; error then says why.
struct TAdifReading {
  std::map<std::string, std::map<std::string, std::string>> Records;
  std::string Error;
};

inline TAdifReading ReadAdifOutside(const std::string& file) {
  TAdifReading reading;
  QProcess reader;
  reader.start(QStringLiteral("bash"),
               {QStringLiteral(TALVO_ADIF_READER), QStringLiteral(TALVO_NODE_DIR),
                QString::fromLocal8Bit(file.c_str())});
  if (!reader.waitForFinished(300000) || reader.exitCode() != 0) {
    reading.Error = reader.readAllStandardError().toStdString();
    return reading;
  }
  const QByteArray out = reader.readAllStandardOutput();
  for (const QByteArray& line : out.split('\n')) {
    const QList<QByteArray> parts = line.split('\t');
    if (parts.size() < 3) continue;
    reading.Records[parts[0].toStdString()][parts[1].toStdString()] =
        line.mid(parts[0].size() + parts[1].size() + 2).toStdString();
  }
  return reading;
}
