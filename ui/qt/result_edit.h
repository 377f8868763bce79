// The result box: a multi-line edit that never wraps, whose scroll bars are set only by
// FitScrollBars, and that leaves Enter to the dialog.
#pragma once

#include <QPlainTextEdit>
#include <QString>

namespace tandrel {

class ResultEdit : public QPlainTextEdit {
    Q_OBJECT

  public:
    explicit ResultEdit(QWidget* parent);

    // The text as typed or set, lines joined by "\n"; unlike toPlainText, no-break spaces stay.
    QString Text() const;

    // Shows each scroll bar exactly when the text is wider or taller than the box, counting the
    // room the other bar takes when it is shown. Editing afterwards leaves the bars as they are.
    void FitScrollBars();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace tandrel
