#include "ui/qt/qt_main_dialog.h"

#include <QCheckBox>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <cstring>

#include "res/main_dialog_rows.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/path_box.h"
#include "ui/qt/result_edit.h"

// A static library's resources are registered only when asked for by name, and only from the
// global namespace.
static void RegisterTandrelResources() {
    Q_INIT_RESOURCE(tandrel_qt);
}

namespace tandrel {
namespace {

constexpr unsigned kButtonTypeMask = 0x000F;

constexpr double kSmallestDialogPoints = 6.0;

struct TemplateText {
    const char* className;
    const char* text;
    int width;
    int height;
    unsigned style;
};

constexpr TemplateText kTemplateTexts[] = {
#define TDL_QT_TEXT(id, cls, text, x, y, width, height, style, exStyle) \
    {cls, text, width, height, style},
    TDL_MAIN_DIALOG_ROWS(TDL_QT_TEXT)
#undef TDL_QT_TEXT
};

bool IsCheckBox(const char* className, unsigned style) {
    return std::strcmp(className, "Button") == 0 &&
           (style & kButtonTypeMask) == TDL_BS_AUTOCHECKBOX;
}

bool TextsFit(const QFont& font, const DialogUnits& units, const QStyle& style) {
    const QFontMetrics metrics(font);
    const int indicator = style.pixelMetric(QStyle::PM_IndicatorWidth) +
                          style.pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    for (const TemplateText& row : kTemplateTexts) {
        const bool label = std::strcmp(row.className, "Static") == 0;
        const bool check = IsCheckBox(row.className, row.style);
        if (!label && !check) {
            continue;
        }
        const int room = units.X(row.width) - (check ? indicator : 0);
        if (metrics.horizontalAdvance(QString::fromLocal8Bit(row.text)) > room ||
            metrics.height() > units.Y(row.height)) {
            return false;
        }
    }
    return true;
}

// The template's boxes were measured for the Windows dialog font, and its nearest relatives
// here run a little wider or taller. The dialog takes the largest size, from the template's
// points down in half points, at which every label and check-box text fits its box.
QFont DialogFont(const DialogUnits& units, const QStyle& style) {
    QFont font;
    // The families nearest the Windows dialog font, by metrics, before the system's own.
    font.setFamilies({QStringLiteral(TDL_MAIN_DIALOG_FONT_NAME),
                      QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("Helvetica")});
    font.setStyleHint(QFont::SansSerif);
    for (double points = TDL_MAIN_DIALOG_FONT_POINTS; points >= kSmallestDialogPoints;
         points -= 0.5) {
        font.setPointSizeF(points);
        if (TextsFit(font, units, style)) {
            break;
        }
    }
    return font;
}

}  // namespace

QtMainDialog::QtMainDialog(DiffDialog& dialog) : QDialog(nullptr), dialog_(dialog) {
    RegisterTandrelResources();
    icon_ = QIcon(QStringLiteral(":/tandrel/tandrel.ico"));

    setWindowTitle(QString::fromLocal8Bit(TDL_MAIN_DIALOG_CAPTION));
    // A modal frame: caption, system menu and close box, no resizing.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    const DialogUnits units = DialogUnits::ForScreen(screen());
    setFont(DialogFont(units, *style()));
    setFixedSize(units.X(TDL_MAIN_DIALOG_WIDTH), units.Y(TDL_MAIN_DIALOG_HEIGHT));
#define TDL_QT_CONTROL(id, cls, text, x, y, width, height, style, exStyle) \
    AddControl(id, cls, text, units.Rect(x, y, width, height), style);
    TDL_MAIN_DIALOG_ROWS(TDL_QT_CONTROL)
#undef TDL_QT_CONTROL

    dialog_.AttachHost(&host_);
    dialog_.OnInitDialog();
}

QtMainDialog::~QtMainDialog() {
    if (dialog_.Host() == &host_) {
        dialog_.AttachHost(nullptr);
    }
}

QWidget* QtMainDialog::Control(int controlId) const {
    return controls_.value(controlId, nullptr);
}

void QtMainDialog::AddControl(int controlId, const char* className, const char* text,
                              const QRect& geometry, unsigned style) {
    const QString caption = QString::fromLocal8Bit(text);
    QWidget* control = nullptr;
    if (std::strcmp(className, "Static") == 0) {
        auto* label = new QLabel(caption, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        control = label;
    } else if (std::strcmp(className, "Button") == 0) {
        QAbstractButton* button = nullptr;
        if (IsCheckBox(className, style)) {
            button = new QCheckBox(caption, this);
        } else {
            auto* push = new QPushButton(caption, this);
            // Enter is the dialog's: it ends the dialog unless a push button has the focus.
            push->setAutoDefault(false);
            button = push;
        }
        connect(button, &QAbstractButton::clicked, this,
                [this, controlId] { OnClicked(controlId); });
        control = button;
    } else if (std::strcmp(className, "Edit") == 0) {
        if (style & TDL_ES_MULTILINE) {
            auto* result = new ResultEdit(this);
            if (!(style & TDL_WS_BORDER)) {
                result->setFrameShape(QFrame::NoFrame);
            }
            control = result;
        } else {
            auto* box = new PathBox(this);
            box->setFrame((style & TDL_WS_BORDER) != 0);
            control = box;
        }
    }
    if (control == nullptr) {
        return;
    }
    control->setGeometry(geometry);
    if (style & TDL_WS_TABSTOP) {
        control->setFocusPolicy(Qt::StrongFocus);
        if (lastInTabOrder_ != nullptr) {
            QWidget::setTabOrder(lastInTabOrder_, control);
        }
        lastInTabOrder_ = control;
    } else {
        control->setFocusPolicy(Qt::NoFocus);
    }
    control->setVisible((style & TDL_WS_VISIBLE) != 0);
    if (controlId != IDC_LABEL) {
        controls_.insert(controlId, control);
    }
}

void QtMainDialog::OnClicked(int controlId) {
    dialog_.OnCommand(controlId);
}

// Enter clicks the push button that has the focus and ends the dialog from any other control;
// Escape, and the rest, are the base dialog's.
void QtMainDialog::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers others =
        event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (enter && others == Qt::NoModifier) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
        } else {
            accept();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace tandrel
