#include "platform/Application.h"

#include <QMessageBox>
#include <clocale>
#include <cstdio>
#include <exception>

namespace platform {
namespace {

QString Latin1(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}

bool Headless() {
  return QGuiApplication::platformName() == QLatin1String("offscreen");
}

}  // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  std::setlocale(LC_NUMERIC, "C");
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
  auto* box = new QMessageBox(QMessageBox::Critical, QApplication::applicationName(), Latin1(text));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

void SetMessageBoxHook(MessageBoxHook hook) {
  Hook() = std::move(hook);
}

void MessageBox(const std::string& text, const std::string& caption) {
  if (Hook()) return Hook()(text, caption);
  if (Headless()) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, Latin1(caption), Latin1(text), QMessageBox::Ok);
  box.exec();
}

}  // namespace platform
