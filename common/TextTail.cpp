#include "common/TextTail.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

TTextTail::TTextTail(QPlainTextEdit& view, int maxChars, int maxBlocks)
    : view_(view), maxChars_(maxChars) {
  view_.document()->setUndoRedoEnabled(false);
  view_.setMaximumBlockCount(maxBlocks);
}

void TTextTail::Append(const QString& text) {
  QTextCursor end(view_.document());
  end.movePosition(QTextCursor::End);
  end.insertText(text);
  DropOldest();
}

void TTextTail::DropOldest() {
  QTextDocument* doc = view_.document();
  if (doc->characterCount() <= maxChars_) return;
  // Whole paragraphs, counted from the top, up to the one that brings the text under the limit.
  int drop = 0;
  for (QTextBlock b = doc->firstBlock(); b.isValid() && b.next().isValid(); b = b.next()) {
    if (doc->characterCount() - drop <= maxChars_) break;
    drop += b.length();
  }
  if (drop == 0) return;
  // The last separator stays, and with it an empty first paragraph: the paragraph below is not
  // touched, and so not laid out again (for a long one that is most of the cost of an append).
  QTextCursor top(doc);
  top.setPosition(drop - 1, QTextCursor::KeepAnchor);
  top.removeSelectedText();
}
