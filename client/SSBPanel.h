#pragma once

#include <QWidget>

class QCheckBox;
class QSlider;
class TClientAudio;
class TClientSettings;
class TLEDButton;
class TLEDMeter;

// The microphone window "SSB": push-to-talk, VOX, the level meter and the microphone squelch.
// Thin: the decisions are TClientAudio's. Its settings are [Audio] "Mic Squelch" and "Use VOX"
// and its place [Mic Window] "Left" and "Top". Hiding it (also when it closes) while
// transmitting ends transmitting.
class TSSBPanel : public QWidget {
 public:
  static constexpr int kDefaultTop = 236;

  TSSBPanel(TClientAudio& audio, const TClientSettings& settings, QWidget* parent = nullptr);

  TLEDButton* PTTButton() const { return pttButton_; }
  QCheckBox* UseVox() const { return cbUseVox_; }
  TLEDMeter* LevelMeter() const { return levelMeter_; }
  QSlider* SquelchLvl() const { return squelchLvl_; }

  void FormCreate();
  void FormShow();
  void FormHide();
  void SquelchLvlChange();
  void PTTButtonClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  TClientAudio& audio_;
  const TClientSettings& settings_;
  TLEDButton* pttButton_ = nullptr;
  QCheckBox* cbUseVox_ = nullptr;
  TLEDMeter* levelMeter_ = nullptr;
  QSlider* squelchLvl_ = nullptr;
};
