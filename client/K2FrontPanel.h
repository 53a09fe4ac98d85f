#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "client/ClientAudio.h"
#include "client/ClientLinks.h"
#include "client/ClientSession.h"
#include "client/PanelControls.h"
#include "client/PanelPicture.h"
#include "client/PanelStatus.h"
#include "controls/InstrumentControl.h"

class QAction;
class QLabel;
class QMenu;
class QTimer;
class TChatWin;
class TConnectDlg;
class TFreqCtrl;
class THotKeyManager;
class TKelmKnob;
class TLEDButton;
class TLEDDisplayEx;
class TLEDMeter;
class TMacroDlg;
class TPanelImage;
class TPropsDlg;
class TQSOPanel;
class TRxWin;
class TSSBPanel;

// The client's main window, a borderless picture of the radio's front panel drawn from one
// layout table (PanelPicture.h), shaped by its fuchsia parts. It owns the session (the
// connection and the line handling), the display and control logic (TFrontPanelStatus,
// TFrontPanelControls) and the tool windows around it; its handlers keep the names of the
// panel's components and delegate. Received chat lines go to the chat window, which it shows.
class TK2FrontPanel : public QWidget,
                      public IPanelView,
                      public IStatusView,
                      public ITextView,
                      public INoticeView,
                      public IPanelIndicators {
 public:
  static constexpr const char* kCaption = "Talvo Client 1.0";

  // iniFile and traceFile as TClientSession takes them. hotKeys: false leaves the system-wide
  // hot keys alone (for tests of the panel that run beside others).
  TK2FrontPanel(const std::string& iniFile, const std::string& traceFile, QWidget* parent = nullptr,
                bool hotKeys = true);
  ~TK2FrontPanel() override;

  TClientSession& Session() { return session_; }
  TFrontPanelStatus& Status() { return status_; }
  TFrontPanelControls& Controls() { return controls_; }
  TClientAudio& Audio() { return audio_; }
  // The tool windows, created with the panel in this order.
  TSSBPanel* SSBPanel() const { return mic_.get(); }
  TConnectDlg* ConnectDlg() const { return connectDlg_.get(); }
  TPropsDlg* PropsDlg() const { return propsDlg_.get(); }
  TQSOPanel* QSOPanel() const { return qso_.get(); }
  TMacroDlg* MacroDlg() const { return macroDlg_.get(); }
  TFreqCtrl* FreqCtrl() const { return freq_.get(); }
  TChatWin* ChatWin() const { return chat_.get(); }
  TRxWin* RxWin() const { return rx_.get(); }

  // Ends the program on a signal, in order. Nobody may be there to answer the contact window's
  // question, so the contact is kept (saved) without asking.
  void CloseProgram();

  // Handlers, by the components' names.
  void PowerBtnClick();
  void AFGainKnobChange(int value);
  void AnnTimerTimer();
  void TimerTimer();
  void StnCallDblClick();
  void ButtonMouseDown(TPanelImage* button, TMouseButton mouse);
  void ButtonMouseUp(TPanelImage* button, TMouseButton mouse);
  void DialMouseDown(TMouseButton mouse);
  void DialMouseUp();
  void DialDblClick();
  void RITKnobMouseDown(TMouseButton mouse);
  void RITKnobMouseUp();
  void RITKnobDblClick();
  void RXOnlyMenuClick();
  void HotKeyManagerHotKeyPressed(std::uint16_t index);

  // The session's views.
  void PanelChanged(TPanelChange change) override;
  void ShowStatus(TServerWord word, const std::string& value) override;
  void AddText(const std::string& text) override;
  void ShowNotice(const std::string& text, const std::string& caption) override;

  // The display's views.
  void ShowDisplayText(const std::string& text) override;
  void ShowAnnunciators(const TAnnunciatorRow& row) override;
  void ShowMeter(int position) override;
  void MoveKnob(TPanelKnob knob, int position) override;
  void ShowFrequency(const std::string& text) override;
  void ChangeModeGroup(std::uint8_t from, std::uint8_t to) override;

  // Components, for the program's tests.
  TLEDButton* PowerBtn() const { return powerBtn_; }
  QLabel* StnCall() const { return stnCall_; }
  QWidget* DisplayPanel() const { return displayPanel_; }
  TLEDDisplayEx* LEDDisplay() const { return ledDisplay_; }
  TLEDMeter* LEDMeter() const { return ledMeter_; }
  TPanelImage* Annunc(int k) const { return annunc_[static_cast<std::size_t>(k - 1)]; }
  TPanelImage* Button(int tag) const { return buttons_[static_cast<std::size_t>(tag - 1)]; }
  TPanelImage* Dial() const { return dial_; }
  TPanelImage* K2Bitmap() const { return k2Bitmap_; }
  TKelmKnob* KeyerKnob() const { return keyerKnob_; }
  TKelmKnob* PowerKnob() const { return powerKnob_; }
  TKelmKnob* AFGainKnob() const { return afGainKnob_; }
  TKelmKnob* RFGainKnob() const { return rfGainKnob_; }
  TKelmKnob* RITKnob() const { return ritKnob_; }
  QMenu* PowerPopup() const { return powerPopup_; }
  QAction* PowerItem() const { return powerItem_; }
  QAction* RxOnlyItem() const { return rxOnlyItem_; }
  QMenu* ModeChgPopup() const { return modeChgPopup_; }
  QTimer* AnnTimer() const { return annTimer_; }
  QTimer* Timer() const { return timer_; }
  THotKeyManager* HotKeyManager() const { return hotKeyManager_.get(); }
  // The three hot keys' identifiers (0 when refused): minus, plus, R.
  std::uint16_t HotKeyId(TPanelHotKey key) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreatePicture();
  void CreateDisplay();
  void CreateControls();
  void CreateMenus();
  void SetControlsEnabled(bool on);
  void SetImagesEnabled(bool on);
  void RegisterHotKeys();
  void K2BitmapMouseDown(TMouseButton mouse, int x, int y);
  // The Power button's disconnect has ended: asks whether to close.
  void PowerOffDone();

  TClientSession session_;
  DisplaySessionFor<TClientSession> displaySession_{session_};
  ControlSessionFor<TClientSession> controlSession_{session_};
  TFrontPanelStatus status_{displaySession_, *this};
  TFrontPanelControls controls_{controlSession_, status_};
  AudioSessionFor<TClientSession> audioSession_{session_};
  TClientAudio audio_{audioSession_};
  std::unique_ptr<TSSBPanel> mic_;
  std::unique_ptr<TConnectDlg> connectDlg_;
  std::unique_ptr<TPropsDlg> propsDlg_;
  std::unique_ptr<TQSOPanel> qso_;
  std::unique_ptr<TMacroDlg> macroDlg_;
  std::unique_ptr<TFreqCtrl> freq_;
  std::unique_ptr<TChatWin> chat_;
  std::unique_ptr<TRxWin> rx_;
  std::unique_ptr<THotKeyManager> hotKeyManager_;

  QImage picture_;  // the panel picture, K2Bitmap's
  TPanelImage* k2Bitmap_ = nullptr;
  TPanelImage* dial_ = nullptr;
  std::array<TPanelImage*, 16> buttons_{};
  std::array<TPanelImage*, 8> annunc_{};
  // The switch faces, up and down, of the grey, black and square kinds.
  std::array<QImage, 3> facesUp_, facesDown_;
  QWidget* displayPanel_ = nullptr;
  TLEDDisplayEx* ledDisplay_ = nullptr;
  TLEDMeter* ledMeter_ = nullptr;
  TKelmKnob* keyerKnob_ = nullptr;
  TKelmKnob* powerKnob_ = nullptr;
  TKelmKnob* afGainKnob_ = nullptr;
  TKelmKnob* rfGainKnob_ = nullptr;
  TKelmKnob* ritKnob_ = nullptr;
  TLEDButton* powerBtn_ = nullptr;
  QLabel* stnCall_ = nullptr;
  QMenu* powerPopup_ = nullptr;
  QMenu* modeChgPopup_ = nullptr;
  QAction* powerItem_ = nullptr;
  QAction* rxOnlyItem_ = nullptr;
  QTimer* annTimer_ = nullptr;
  QTimer* timer_ = nullptr;
  bool hotKeys_ = true;
  bool hotKeysRegistered_ = false;
  std::uint16_t hotKeyIds_[3] = {};
  QPoint dragFrom_;
  bool dragging_ = false;
  bool closing_ = false;  // the window waits for the disconnect and the contact's question
  bool closed_ = false;
};
