#pragma once

#include <QApplication>
#include <functional>
#include <string>

namespace platform {

// The Qt application of both programs and of the tests. After Qt's own start-up it sets
// LC_NUMERIC to "C", so that numbers are written and read with "." whatever the user's locale.
// An exception that escapes an event handler does not end the program: it is written to
// standard error and shown in a message box, and the event loop goes on.
class Application : public QApplication {
 public:
  Application(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // Shows the text of an exception that reached the event dispatch.
  static void ShowException(const std::string& text);
};

// A message box with the given caption; modal unless the program runs without a display (Qt's
// offscreen platform), where nobody could answer it and it is only written to standard error.
void MessageBox(const std::string& text, const std::string& caption);

// The same with an icon.
enum class BoxIcon { None, Information, Warning, Error };
void MessageBox(const std::string& text, const std::string& caption, BoxIcon icon);

// The text as a box shows it: CR and CR LF break lines too, and at most a screenful of lines is
// kept (a long line counts for the lines it wraps to); the rest is left out, marked by an
// ellipsis, so that however much a peer sends the box and its buttons stay on the screen.
QString BoxText(const std::string& text);

// A question with Yes and No; true for Yes. Without a display nobody could answer: No. With a
// window, only that window waits for the answer, the program's other windows go on; without
// one, they all wait.
bool AskYesNo(const std::string& text, const std::string& caption, QWidget* window = nullptr);

// Closes the innermost question that AskYesNo is showing, as if answer had been given: its
// AskYesNo returns once the caller's handler has returned. Nothing when no question is open.
void AnswerOpenQuestion(bool answer);

// For tests: when set, AskYesNo returns what this returns instead of asking.
using QuestionHook = std::function<bool(const std::string& text, const std::string& caption)>;
void SetQuestionHook(QuestionHook hook);

// A box that asks for one line of text; the answer, or def when cancelled. Without a display
// nobody could answer: def.
std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& def);

// For tests: when set, InputBox returns what this returns instead of asking.
using InputHook = std::function<std::string(const std::string& caption, const std::string& prompt)>;
void SetInputHook(InputHook hook);

// Runs handler on the main thread, from the event loop, when the process receives SIGTERM,
// SIGINT or SIGHUP. Call once, after the application exists.
void OnTerminationSignal(std::function<void(int signal)> handler);

// For tests: when set, MessageBox and ShowException call this instead of showing anything.
using MessageBoxHook = std::function<void(const std::string& text, const std::string& caption)>;
void SetMessageBoxHook(MessageBoxHook hook);

}  // namespace platform
