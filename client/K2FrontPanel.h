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
class TQSOPanel;
class TRxWin;
class TSSBPanel;

// The tool windows around the front panel; any may be missing.
struct TToolWindows {
  TSSBPanel* Mic = nullptr;
  TConnectDlg* Connect = nullptr;
  TQSOPanel* Qso = nullptr;
  TFreqCtrl* Freq = nullptr;
  TChatWin* Chat = nullptr;
  TRxWin* Rx = nullptr;
};

// The client's main window, a borderless picture of the radio's front panel. It owns the session
// (the connection and the line handling) and shows what the session reports; its handlers keep
// the names of the panel's components and delegate to the session.
class TK2FrontPanel : public QWidget, public IPanelView, public IStatusView, public INoticeView {
 public:
  static constexpr const char* kCaption = "Talvo Client 1.0";

  // iniFile and traceFile as TClientSession takes them.
  TK2FrontPanel(const std::string& iniFile, const std::string& traceFile,
                QWidget* parent = nullptr);
  ~TK2FrontPanel() override;

  TClientSession& Session() { return session_; }
  void SetToolWindows(const TToolWindows& windows);

  void PowerBtnClick();
  void AnnTimerTimer();
  void StnCallDblClick();

  // The session's views.
  void PanelChanged(TPanelChange change) override;
  void ShowStatus(TServerWord word, const std::string& value) override;
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
  class ChatView : public ITextView {
   public:
    explicit ChatView(TK2FrontPanel& panel) : panel_(panel) {}
    void AddText(const std::string& text) override;

   private:
    TK2FrontPanel& panel_;
  };

  void SetPowerLed(bool on);
  void ShowDisplayReport(const std::string& value);

  TClientSession session_;
  ChatView chatView_;
  TToolWindows windows_;
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
