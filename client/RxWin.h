#pragma once

#include <QWidget>
#include <string>

#include "client/ClientLinks.h"
#include "client/RxCopy.h"

class QAction;
class QCheckBox;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class TClientSession;

// The receive-text window: Morse text that the server's decoder passes on, shown as it arrives
// (the window shows itself then). A double click copies the word under the mouse into the
// contact field that suits it; the pop-up menu copies the selection into a chosen field. Its
// place and the "Uppercase" box are read at creation and written when it is destroyed.
class TRxWin : public QWidget, public ITextView {
 public:
  explicit TRxWin(TClientSession& session, QWidget* parent = nullptr);
  ~TRxWin() override;

  // The contact window's fields; unbound, nothing is copied.
  void SetContactFields(IContactFields* contact) { contact_ = contact; }

  void FormCreate();
  void AddText(const std::string& text) override;
  void ClearBtnClick();
  // After the memo selected the word under the mouse.
  void RxPanelDblClick();
  void PopupMenuPopup();
  void CopyClick(TContactField field);
  void SaveToFileClick();
  std::string Text() const;

  QPlainTextEdit* RxPanel() const { return memo_; }
  QPushButton* ClearBtn() const { return clear_; }
  QCheckBox* cbUpperCase() const { return upper_; }
  QMenu* PopupMenu() const { return menu_; }
  QAction* CopyItem(TContactField field) const { return items_[static_cast<int>(field)]; }
  QAction* SaveItem() const { return save_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::string Selection() const;

  TClientSession& session_;
  IContactFields* contact_ = nullptr;
  TRxWord word_;
  QPlainTextEdit* memo_;
  QPushButton* clear_;
  QCheckBox* upper_;
  QMenu* menu_;
  QAction* items_[7] = {};
  QAction* save_;
};
