#include "client/SSBPanel.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QShowEvent>
#include <QSlider>
#include <QVBoxLayout>

#include "client/ClientAudio.h"
#include "client/ClientSettings.h"
#include "controls/LEDButton.h"
#include "controls/LEDMeter.h"

TSSBPanel::TSSBPanel(TClientAudio& audio, const TClientSettings& settings, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      audio_(audio),
      settings_(settings) {
  setWindowTitle(QStringLiteral("SSB"));
  setFont(QApplication::font("QMessageBox"));  // the desktop's message font
  pttButton_ = new TLEDButton(this);
  pttButton_->SetBeveled(true);
  pttButton_->SetBorderStyle(TBorderStyle::bsSingle);
  pttButton_->SetColorLED(clRed);
  pttButton_->SetSwitching(true);
  pttButton_->SetStateOn(false);
  pttButton_->SetCaption("PTT");
  pttButton_->setMinimumSize(64, 32);
  pttButton_->OnClick = [this](TInstrumentControl*) { PTTButtonClick(); };

  cbUseVox_ = new QCheckBox(QStringLiteral("Use VOX"), this);

  auto* level = new QGroupBox(QStringLiteral(" Level "), this);
  levelMeter_ = new TLEDMeter(level);
  levelMeter_->SetMin(0);
  levelMeter_->SetMax(16);
  levelMeter_->SetNumDigits(16);
  levelMeter_->SetSingleLED(false);
  levelMeter_->SetDirection(TMeterDirection::mdUp);
  levelMeter_->SetBevelStyle(TBevelCut::bvLowered);
  levelMeter_->SetStartColor3(13);
  levelMeter_->SetStartColor2(10);
  levelMeter_->setMinimumSize(16, 120);
  (new QVBoxLayout(level))->addWidget(levelMeter_);

  auto* squelch = new QGroupBox(QStringLiteral("Squelch"), this);
  squelchLvl_ = new QSlider(Qt::Vertical, squelch);
  squelchLvl_->setRange(0, TClientAudio::kSquelchMax);
  squelchLvl_->setPageStep(32);
  squelchLvl_->setTickInterval(32);
  squelchLvl_->setTickPosition(QSlider::TicksBothSides);
  // The bar's top is its maximum, squelch 0: up opens the squelch.
  squelchLvl_->setValue(TClientAudio::kSquelchMax);
  (new QVBoxLayout(squelch))->addWidget(squelchLvl_);
  connect(squelchLvl_, &QSlider::valueChanged, this, [this] { SquelchLvlChange(); });

  auto* left = new QVBoxLayout;
  left->addWidget(pttButton_);
  left->addWidget(cbUseVox_);
  left->addStretch();
  auto* row = new QHBoxLayout(this);
  row->addLayout(left);
  row->addWidget(level);
  row->addWidget(squelch);

  audio_.OnLevel = [this](std::int32_t value) { levelMeter_->SetPosition(value); };
  audio_.OnTransmitChange = [this](bool on) { pttButton_->SetStateOn(on); };
  FormCreate();
}

void TSSBPanel::FormCreate() {
  audio_.SetMicSquelch(settings_.MicSquelch());
  squelchLvl_->setValue(TClientAudio::kSquelchMax - audio_.MicSquelch());
  cbUseVox_->setChecked(settings_.UseVox());
}

void TSSBPanel::FormShow() {
  move(settings_.MicLeft(), settings_.MicTop());
}

void TSSBPanel::FormHide() {
  // The radio is never left keyed behind a window that is gone.
  if (audio_.Transmitting()) audio_.StopTransmit();
  settings_.SetMicPosition(x(), y());
  settings_.SetMicAudio(audio_.MicSquelch(), cbUseVox_->isChecked());
}

void TSSBPanel::SquelchLvlChange() {
  audio_.SetMicSquelch(TClientAudio::kSquelchMax - squelchLvl_->value());
}

void TSSBPanel::PTTButtonClick() {
  audio_.SetUseVox(cbUseVox_->isChecked());
  audio_.PTTButtonClick(pttButton_->StateOn());
}

void TSSBPanel::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TSSBPanel::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (!event->spontaneous()) FormHide();
}
