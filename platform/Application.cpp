#include "platform/Application.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QFontMetrics>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QSocketNotifier>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <exception>

#include "platform/Latin1.h"
#include "platform/MessagePump.h"
#include "text/Text.h"

namespace platform {
namespace {

MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}

bool Headless() {
  return QGuiApplication::platformName() == QLatin1String("offscreen");
}

// Characters a box's line takes before it wraps, about.
constexpr int kBoxLineChars = 80;

// Lines of the message font that fit on the screen, less room for the caption, the buttons and
// the margins.
int ScreenLines() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const int height = screen ? screen->availableGeometry().height() : 480;
  const int line = QFontMetrics(QApplication::font("QMessageBox")).lineSpacing();
  return std::max(4, height / std::max(1, line) - 8);
}

}  // namespace

QString BoxText(const std::string& text) {
  const std::string lines = NewlineBreaks(text);
  int budget = ScreenLines();
  std::size_t at = 0;
  while (at < lines.size()) {
    std::size_t end = lines.find('\n', at);
    if (end == std::string::npos) end = lines.size();
    const int rows = 1 + static_cast<int>((end - at) / kBoxLineChars);
    if (rows > budget) {
      // What fits of this line, then the mark; the text is 8-bit, the mark is not.
      const std::size_t keep =
          at + static_cast<std::size_t>(std::max(0, budget - 1)) * kBoxLineChars;
      return Latin1(lines.substr(0, std::min(keep, end))) + QChar(0x2026);
    }
    budget -= rows;
    at = end + 1;
  }
  return Latin1(lines);
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  std::setlocale(LC_NUMERIC, "C");
  SetExceptionReporter(&Application::ShowException);
}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowException(e.what());
  } catch (...) {
    ShowException("Unknown exception");
  }
  return false;
}

void Application::ShowException(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  if (Hook()) return Hook()(text, QApplication::applicationName().toStdString());
  if (Headless()) return;
  auto* box =
      new QMessageBox(QMessageBox::Critical, QApplication::applicationName(), BoxText(text));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

void SetMessageBoxHook(MessageBoxHook hook) {
  Hook() = std::move(hook);
}

void MessageBox(const std::string& text, const std::string& caption) {
  MessageBox(text, caption, BoxIcon::None);
}

void MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) {
  if (Hook()) return Hook()(text, caption);
  if (Headless()) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), NewlineBreaks(text).c_str());
    return;
  }
  static const QMessageBox::Icon kIcons[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                             QMessageBox::Warning, QMessageBox::Critical};
  QMessageBox box(kIcons[static_cast<int>(icon)], Latin1(caption), BoxText(text), QMessageBox::Ok);
  box.exec();
}

}  // namespace platform

namespace platform {
namespace {

QuestionHook& Question() {
  static QuestionHook hook;
  return hook;
}

// The box AskYesNo shows, while it waits for the answer.
QPointer<QMessageBox>& OpenQuestion() {
  static QPointer<QMessageBox> box;
  return box;
}

int g_signalPipe[2] = {-1, -1};

void SignalToPipe(int signal) {
  unsigned char byte = static_cast<unsigned char>(signal);
  ssize_t ignored = ::write(g_signalPipe[1], &byte, 1);
  (void)ignored;
}

}  // namespace

void SetQuestionHook(QuestionHook hook) {
  Question() = std::move(hook);
}

bool AskYesNo(const std::string& text, const std::string& caption, QWidget* window) {
  if (Question()) return Question()(text, caption);
  if (Headless()) return false;
  QMessageBox box(QMessageBox::Question, Latin1(caption), BoxText(text),
                  QMessageBox::Yes | QMessageBox::No, window);
  if (window != nullptr) box.setWindowModality(Qt::WindowModal);
  QPointer<QMessageBox> outer = OpenQuestion();
  OpenQuestion() = &box;
  const int answer = box.exec();
  OpenQuestion() = outer;
  return answer == QMessageBox::Yes;
}

void AnswerOpenQuestion(bool answer) {
  if (QMessageBox* box = OpenQuestion()) box->done(answer ? QMessageBox::Yes : QMessageBox::No);
}

namespace {

InputHook& Input() {
  static InputHook hook;
  return hook;
}

}  // namespace

void SetInputHook(InputHook hook) {
  Input() = std::move(hook);
}

std::string InputBox(const std::string& caption, const std::string& prompt,
                     const std::string& def) {
  if (Input()) return Input()(caption, prompt);
  if (Headless()) return def;
  bool ok = false;
  const QString answer = QInputDialog::getText(nullptr, Latin1(caption), Latin1(prompt),
                                               QLineEdit::Normal, Latin1(def), &ok);
  return ok ? ToLatin1(answer) : def;
}

void OnTerminationSignal(std::function<void(int signal)> handler) {
  if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [handler] {
    unsigned char byte = 0;
    while (::read(g_signalPipe[0], &byte, 1) == 1) handler(byte);
  });
  struct sigaction sa {};
  sa.sa_handler = SignalToPipe;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
}

}  // namespace platform
