#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The server's event log: dated lines ("ddddd tt", a tab, the message) in the file beside the
// program, which continues across runs, and in memory for the log window. The file is kept under
// kMaxFileBytes: when a line would pass it, the file becomes "<name>.1" (replacing the old one)
// and a new file begins; the lines in memory then begin afresh too. A file that cannot be renamed
// is emptied instead, with a line that says so; one that can be neither renamed nor emptied keeps
// its lines (in memory too) and is not written, and each new line tries again. A line that could
// not be written stays in memory and goes to the file, in its order, before the next line that
// can be written; a new file keeps such lines in memory too. Whatever happens to the file, the
// lines in memory stay under kMaxFileBytes: past it, the older half of them is dropped, and lines
// dropped before they reached the file leave one line in their place that says how many they were.
class TEventLog {
 public:
  static constexpr std::uintmax_t kMaxFileBytes = 10 * 1024 * 1024;

  explicit TEventLog(std::string path);

  // Reads the lines the file holds already (a missing file is an empty log); of a file larger
  // than kMaxFileBytes only the newest lines.
  void Load();

  // Adds one line for message, dated now, and appends it to the file. A file that cannot be
  // written does not stop the server: the line stays in memory and false is returned.
  bool LogEvent(const std::string& message);

  const std::vector<std::string>& Lines() const { return lines_; }
  const std::string& Path() const { return path_; }

 private:
  void Keep(std::string line);
  // Keeps a line that is not in the file yet.
  void KeepUnwritten(std::string line);
  // Lines not in the file yet were dropped: one line at the front says so.
  void NoteDropped(std::size_t lost);
  // Appends the lines not in the file yet, in order; false at the first that fails.
  bool WriteUnwritten();
  std::uintmax_t UnwrittenBytes() const;
  static std::string Dated(const std::string& message);
  // Makes room in the file for bytes more (see above); false when there is none.
  bool MakeRoom(std::uintmax_t bytes);
  // True when the file (a missing one too) takes bytes more within kMaxFileBytes.
  bool HasRoom(std::uintmax_t bytes) const;
  // The file began anew (with note, when there is one): so do the lines in memory, but for those
  // not in the file yet.
  void BeginAfresh(std::string note = {});

  std::string path_;
  std::vector<std::string> lines_;
  std::uintmax_t bytes_ = 0;   // of lines_, each with its line end
  std::size_t unwritten_ = 0;  // the last lines of lines_ that the file does not hold yet
  std::size_t dropped_ = 0;    // not written and dropped, told by the first unwritten line
  bool stuck_ = false;         // full, neither renamed nor emptied, and said so
};

// Text that came from a client, fit for a log line: control characters become "?" and the text is
// cut to max characters (marked with "..."), so that no client can forge or flood log lines.
std::string LogSafe(const std::string& text, std::size_t max = 64);
