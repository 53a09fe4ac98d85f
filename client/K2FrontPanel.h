#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "client/ClientLinks.h"
#include "client/ClientSession.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class TChatWin;
class TConnectDlg;
class TFreqCtrl;
class TMacroDlg;
class TPropsDlg;
class TQSOPanel;
class TRxWin;
class TSSBPanel;

// The client's main window, a borderless picture of the radio's front panel. It owns the session
// (the connection and the line handling) and the tool windows around it, and shows what the
// session reports; its handlers keep the names of the panel's components and delegate to the
// session. Received chat lines go to the chat window, which it shows.
class TK2FrontPanel : public QWidget,
                      public IPanelView,
                      public IStatusView,
                      public ITextView,
                      public INoticeView {
 public:
  static constexpr const char* kCaption = "Talvo Client 1.0";

  // iniFile and traceFile as TClientSession takes them.
  TK2FrontPanel(const std::string& iniFile, const std::string& traceFile,
                QWidget* parent = nullptr);
  ~TK2FrontPanel() override;

  TClientSession& Session() { return session_; }
  // The tool windows, created with the panel in this order.
  TSSBPanel* SSBPanel() const { return mic_.get(); }
  TConnectDlg* ConnectDlg() const { return connectDlg_.get(); }
  TPropsDlg* PropsDlg() const { return propsDlg_.get(); }
  TQSOPanel* QSOPanel() const { return qso_.get(); }
  TMacroDlg* MacroDlg() const { return macroDlg_.get(); }
  TFreqCtrl* FreqCtrl() const { return freq_.get(); }
  TChatWin* ChatWin() const { return chat_.get(); }
  TRxWin* RxWin() const { return rx_.get(); }

  void PowerBtnClick();
  void AnnTimerTimer();
  void StnCallDblClick();

  // The session's views.
  void PanelChanged(TPanelChange change) override;
  void ShowStatus(TServerWord word, const std::string& value) override;
  void AddText(const std::string& text) override;
  void ShowNotice(const std::string& text, const std::string& caption) override;

  QPushButton* PowerBtn() const { return powerBtn_; }
  QLabel* StnCall() const { return stnCall_; }
  QLabel* DisplayPanel() const { return displayPanel_; }
  QAction* PowerItem() const { return powerItem_; }
  QAction* RxOnlyItem() const { return rxOnlyItem_; }
  QTimer* AnnTimer() const { return annTimer_; }
  QWidget* Controls() const { return controls_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetPowerLed(bool on);
  void ShowDisplayReport(const std::string& value);

  TClientSession session_;
  std::unique_ptr<TSSBPanel> mic_;
  std::unique_ptr<TConnectDlg> connectDlg_;
  std::unique_ptr<TPropsDlg> propsDlg_;
  std::unique_ptr<TQSOPanel> qso_;
  std::unique_ptr<TMacroDlg> macroDlg_;
  std::unique_ptr<TFreqCtrl> freq_;
  std::unique_ptr<TChatWin> chat_;
  std::unique_ptr<TRxWin> rx_;
  QPushButton* powerBtn_;
  QLabel* stnCall_;
  QLabel* displayPanel_;
  QWidget* controls_;
  QMenu* powerPopup_;
  QAction* powerItem_;
  QAction* rxOnlyItem_;
  QTimer* annTimer_;
  QTimer* timer_;
  QPoint dragFrom_;
  bool closing_ = false;
};
