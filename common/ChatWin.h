#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "common/TextTail.h"

class QPlainTextEdit;
class QPushButton;

// The chat window of both programs: a small tool window, captioned "Chat", that stays on top. It
// shows the conversation (ChatText), takes the text to send (SendText; Enter sends it) and has
// the Send button (SendBtn). What the window sends goes to OnSend; the program delivers it (the
// server on its client socket, the client through its command sender).
//
// Its position is kept in the program's INI file: [Chat Window] Top and Left, read when the
// window is shown (top 236 and left 0 when absent or not a number) and written when it is hidden.
class TChatWin : public QWidget {
 public:
  // Line is the whole protocol line without its line end: "CHAT " + call + "> " + text.
  using TSendEvent = std::function<void(TChatWin* Sender, const std::string& Line)>;

  // ChatText keeps the newest lines: at most this many characters, at most kMaxLines lines.
  static constexpr int kMaxChars = 64 * 1024;
  static constexpr int kMaxLines = 2000;
  // Of a longer line only this many characters are shown, then an ellipsis: laying out a line costs
  // with its length, and the window is a view of the conversation, not its record.
  static constexpr std::size_t kMaxLineChars = 4 * 1024;

  explicit TChatWin(QWidget* parent = nullptr);

  // The sender's call sign that begins every line this side sends.
  const std::string& Call() const { return call_; }
  void SetCall(std::string call) { call_ = std::move(call); }

  // The INI file that keeps the position; the program's ".ini" file unless set.
  const std::string& IniFile() const { return iniFile_; }
  void SetIniFile(std::string path) { iniFile_ = std::move(path); }

  TSendEvent OnSend;

  // Adds a received line (8-bit text) below the others, scrolls to it and beeps.
  void AddText(const std::string& line);
  // Sends the text of SendText, if any, as call + "> " + text, adds that line to ChatText and
  // empties SendText. CR and LF in the text become spaces: a chat line is one protocol line.
  void SendBtnClick();

  // The conversation as 8-bit text, one line per received or sent line, each ended by "\n".
  std::string Conversation() const;

  QPlainTextEdit* ChatText() const { return chatText_; }
  QPlainTextEdit* SendText() const { return sendText_; }
  QPushButton* SendBtn() const { return sendBtn_; }

  void setVisible(bool visible) override;

 protected:
  void FormShow();
  void FormHide();

 private:
  void AppendLine(const std::string& line);

  std::string call_;
  std::string iniFile_;
  QPlainTextEdit* chatText_;
  std::unique_ptr<TTextTail> tail_;
  QPlainTextEdit* sendText_;
  QPushButton* sendBtn_;
};
