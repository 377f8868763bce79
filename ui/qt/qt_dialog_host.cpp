#include "ui/qt/qt_dialog_host.h"

#include <QAbstractButton>
#include <QByteArray>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "res/resource.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/path_box.h"
#include "ui/qt/qt_file_dialog.h"
#include "ui/qt/qt_main_dialog.h"
#include "ui/qt/result_edit.h"

namespace tandrel {
namespace {

// The Windows box asks for Terminal with a cell height (ascent plus descent) of 12 pixels at
// 96 DPI. Qt sizes fonts by their em, so the system's fixed-pitch font gets the pixel size
// whose cell comes nearest that height on this screen.
constexpr double kResultCellPixels = 12.0;

QFont ResultFont(const QWidget& box) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    const QScreen* screen = box.screen();
    const double cell = kResultCellPixels *
                        (screen != nullptr ? screen->logicalDotsPerInchY() / kReferenceDpi : 1.0);
    int best = 1;
    double bestDistance = -1;
    for (int pixels = 1; pixels <= 4 * static_cast<int>(cell); ++pixels) {
        font.setPixelSize(pixels);
        const double distance = std::abs(QFontMetricsF(font).height() - cell);
        // On a tie the larger size wins: it is the easier to read.
        if (bestDistance < 0 || distance <= bestDistance) {
            best = pixels;
            bestDistance = distance;
        }
    }
    font.setPixelSize(best);
    return font;
}

}  // namespace

QtDialogHost::QtDialogHost(QtMainDialog& window) : window_(window) {}

QString QtDialogHost::ItemText(int controlId) const {
    QWidget* const control = window_.Control(controlId);
    if (auto* result = qobject_cast<ResultEdit*>(control)) {
        return result->Text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        return edit->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        return button->text();
    }
    return QString();
}

int QtDialogHost::GetItemTextLength(int controlId) {
    return static_cast<int>(ItemText(controlId).toLocal8Bit().size());
}

int QtDialogHost::GetItemText(int controlId, char* buffer, int maxCount) {
    if (buffer == nullptr || maxCount <= 0) {
        return 0;
    }
    const QByteArray text = ItemText(controlId).toLocal8Bit();
    const int count = static_cast<int>(std::min<qsizetype>(text.size(), maxCount - 1));
    std::memcpy(buffer, text.constData(), static_cast<size_t>(count));
    buffer[count] = '\0';
    return count;
}

void QtDialogHost::SetItemText(int controlId, const char* text) {
    const QString value = QString::fromLocal8Bit(text != nullptr ? text : "");
    QWidget* const control = window_.Control(controlId);
    if (auto* result = qobject_cast<ResultEdit*>(control)) {
        result->setPlainText(value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(value);
    }
}

bool QtDialogHost::IsItemChecked(int controlId) {
    auto* button = qobject_cast<QAbstractButton*>(window_.Control(controlId));
    return button != nullptr && button->isCheckable() && button->isChecked();
}

void QtDialogHost::SetItemChecked(int controlId, bool checked) {
    auto* button = qobject_cast<QAbstractButton*>(window_.Control(controlId));
    if (button != nullptr && button->isCheckable()) {
        button->setChecked(checked);
    }
}

const char* QtDialogHost::LineEnd() const {
    return "\n";
}

void QtDialogHost::SetDialogIcon() {
    window_.setWindowIcon(window_.Icon());
}

void QtDialogHost::PreparePathBoxes() {
    for (int id : {IDC_FIRST_PATH, IDC_SECOND_PATH}) {
        if (auto* box = qobject_cast<PathBox*>(window_.Control(id))) {
            box->AcceptFileDrops();
        }
    }
}

void QtDialogHost::SetResultFont() {
    if (QWidget* result = window_.Control(IDC_RESULT)) {
        result->setFont(ResultFont(*result));
    }
}

void QtDialogHost::UpdateResultScrollBars() {
    if (auto* result = qobject_cast<ResultEdit*>(window_.Control(IDC_RESULT))) {
        result->FitScrollBars();
    }
}

void QtDialogHost::ShowWaitCursor(bool on) {
    if (on) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

void QtDialogHost::ShowMessage(const char* text) {
    QMessageBox box(QMessageBox::Warning, window_.windowTitle(),
                    QString::fromLocal8Bit(text != nullptr ? text : ""), QMessageBox::Ok, &window_);
    box.exec();
}

bool QtDialogHost::RunSystemFileDialog(const FileDialogRequest& request, std::string& path) {
    return RunQtFileDialog(&window_, request, path);
}

}  // namespace tandrel
