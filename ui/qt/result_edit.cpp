#include "ui/qt/result_edit.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace tandrel {
namespace {

// The frame markers and separators a QTextDocument keeps in its raw text for line breaks.
constexpr char16_t kBeginningOfFrame = 0xFDD0;
constexpr char16_t kEndOfFrame = 0xFDD1;

}  // namespace

ResultEdit::ResultEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    setReadOnly(false);
    // Tab moves on to the next control, as in a dialog's multi-line edit.
    setTabChangesFocus(true);
    // Qt's edit takes dropped text and links by default; nothing is dropped here.
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

QString ResultEdit::Text() const {
    QString text = document()->toRawText();
    for (QChar& c : text) {
        const char16_t code = c.unicode();
        if (code == QChar::ParagraphSeparator || code == QChar::LineSeparator ||
            code == kBeginningOfFrame || code == kEndOfFrame) {
            c = u'\n';
        }
    }
    return text;
}

void ResultEdit::FitScrollBars() {
    QTextDocument* const doc = document();
    // Lines are laid out only when they come into view. In a fixed-pitch font the line with the
    // most characters is the widest, so laying out that one line gives the text's width.
    QTextBlock widest = doc->firstBlock();
    for (QTextBlock block = widest.next(); block.isValid(); block = block.next()) {
        if (block.length() > widest.length()) {
            widest = block;
        }
    }
    const QTextLayout* const layout = widest.layout();
    const qreal margin = doc->documentMargin();
    // The last line's rectangle carries the bottom margin too.
    const qreal lineHeight =
        blockBoundingRect(widest).height() - (widest.next().isValid() ? 0 : margin);
    // The measures the edit's own scroll ranges are made of, so that a bar is shown exactly
    // when it has something to scroll: the widest line with a margin at each side against the
    // viewport's width; all lines with the bottom margin against its height less the top margin
    // and one pixel.
    const int textWidth = static_cast<int>(
        (layout != nullptr && layout->lineCount() > 0 ? layout->lineAt(0).naturalTextWidth() : 0) +
        2 * margin);
    const qreal textHeight = doc->blockCount() * lineHeight + 2 * margin + 1;

    const QSize room = contentsRect().size();
    const int barHeight = horizontalScrollBar()->sizeHint().height();
    const int barWidth = verticalScrollBar()->sizeHint().width();
    // Each bar shown takes room from the other direction, which may call for the other bar.
    bool wide = false;
    bool tall = false;
    for (int pass = 0; pass < 2; ++pass) {
        wide = textWidth > room.width() - (tall ? barWidth : 0);
        tall = textHeight > room.height() - (wide ? barHeight : 0);
    }
    setHorizontalScrollBarPolicy(wide ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(tall ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    // A bar that comes or goes changes the viewport's width, and the edit then drops every
    // line's layout; the widest is laid out again so the horizontal range still covers it.
    blockBoundingRect(widest);
}

// Enter ends the dialog from here too, as in a multi-line edit without want-return; Ctrl+Enter
// still breaks the line there, and so it does here.
void ResultEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (event->modifiers() & Qt::ControlModifier) {
            insertPlainText(QStringLiteral("\n"));
            event->accept();
        } else {
            event->ignore();
        }
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

}  // namespace tandrel
