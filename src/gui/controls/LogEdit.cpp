#include "controls/LogEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QMenu>
#include <QMimeData>

#include "platform/GuiTexts.h"

namespace recdesk::gui {

LogEdit::LogEdit(QWidget* parent) : QPlainTextEdit(parent) {
  // Protocol lines read best unbroken and in a fixed-width font.
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setUndoRedoEnabled(true);
}

QMenu* LogEdit::buildMenu() {
  auto* menu = new QMenu(this);
  menu->addAction(qtext(TextId::MenuOpenLog), this, &LogEdit::openLogRequested);
  menu->addSeparator();
  menu->addAction(qtext(TextId::MenuUndo), this, &QPlainTextEdit::undo)->setEnabled(document()->isUndoAvailable());
  menu->addSeparator();
  const bool selected = textCursor().hasSelection();
  menu->addAction(qtext(TextId::MenuCut), this, &QPlainTextEdit::cut)->setEnabled(selected && !isReadOnly());
  menu->addAction(qtext(TextId::MenuCopy), this, &QPlainTextEdit::copy)->setEnabled(selected);
  const QMimeData* clip = QApplication::clipboard()->mimeData();
  menu->addAction(qtext(TextId::MenuPaste), this, &QPlainTextEdit::paste)
      ->setEnabled(!isReadOnly() && clip && clip->hasText());
  menu->addAction(qtext(TextId::MenuDelete), this, [this] { textCursor().removeSelectedText(); })
      ->setEnabled(selected && !isReadOnly());
  menu->addSeparator();
  menu->addAction(qtext(TextId::MenuSelectAll), this, [this] {
        selectAll();
        ensureCursorVisible();
      })->setEnabled(!document()->isEmpty());
  return menu;
}

void LogEdit::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = buildMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

}  // namespace recdesk::gui
