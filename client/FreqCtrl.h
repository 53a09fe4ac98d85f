#pragma once

#include <QWidget>
#include <string>

#include "client/FreqMemories.h"

class QComboBox;
class QPushButton;
class TClientSession;

// The frequency window: a frequency typed or picked from the memories is sent as "FREQ", the ten
// step buttons move the frequency that the radio last reported. The memories and the window's
// place are read at creation and written whenever it hides.
class TFreqCtrl : public QWidget {
 public:
  explicit TFreqCtrl(TClientSession& session, QWidget* parent = nullptr);

  void FormCreate();
  // Go, and an item chosen from the list.
  void FreqBtnClick();
  // A step button, by its tag (1 .. 5 up, -1 .. -5 down).
  void FreqChgClick(int tag);
  // A "FREQ" status line: the reported frequency becomes the text.
  void ShowFreq(const std::string& value);

  QComboBox* cbFreq() const { return freq_; }
  QPushButton* FreqBtn() const { return go_; }
  // The step button with this tag; nullptr for other tags.
  QPushButton* StepButton(int tag) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  // Enter in the text is Go (a tool window has no default button).
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowMemories();

  TClientSession& session_;
  TFreqMemories memories_;
  QComboBox* freq_;
  QPushButton* go_;
  QPushButton* steps_[11] = {};  // by tag + 5
};
