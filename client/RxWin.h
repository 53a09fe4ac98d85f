#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "client/ClientLinks.h"
#include "client/RxCopy.h"
#include "common/TextTail.h"

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
//
// The text flows on as one paragraph; the window keeps its newest kMaxChars characters. So that
// an append does not lay out all of it again, the paragraph is broken where its wrapped text
// begins a line anyway; those breaks are no part of the text that is copied or saved.
class TRxWin : public QWidget, public ITextView {
 public:
  static constexpr int kMaxChars = 64 * 1024;
  // A paragraph longer than this is broken before the next append.
  static constexpr int kParagraphChars = 1024;

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
  void BreakLastParagraph();

  TClientSession& session_;
  IContactFields* contact_ = nullptr;
  TRxWord word_;
  QPlainTextEdit* memo_;
  std::unique_ptr<TTextTail> tail_;
  QPushButton* clear_;
  QCheckBox* upper_;
  QMenu* menu_;
  QAction* items_[7] = {};
  QAction* save_;
};
