#include "ui/qt/qt_file_dialog.h"

#include <QByteArray>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <cstring>

namespace tandrel {
namespace {

// The filters come written for Windows, where "*.*" names every file; Qt reads it as names
// that hold a dot and would hide "README" or "Makefile". The dialog's listing model is given
// "*" instead, while the filter keeps its text.
void ListEveryNameForStarDotStar(QFileDialog& dialog) {
    QFileSystemModel* const model = dialog.findChild<QFileSystemModel*>();
    if (model == nullptr) {
        return;
    }
    auto widen = [model] {
        QStringList patterns = model->nameFilters();
        if (patterns.removeAll(QStringLiteral("*.*")) > 0) {
            patterns.append(QStringLiteral("*"));
            model->setNameFilters(patterns);
        }
    };
    widen();
    QObject::connect(&dialog, &QFileDialog::filterSelected, model, widen);
}

}  // namespace

QStringList QtNameFilters(const char* pairs) {
    QStringList filters;
    if (pairs == nullptr) {
        return filters;
    }
    for (const char* p = pairs; *p != '\0';) {
        const QString description = QString::fromLocal8Bit(p);
        p += std::strlen(p) + 1;
        // A description without its pattern ends the list too.
        const bool hasPattern = *p != '\0';
        const QString patterns = QString::fromLocal8Bit(p).replace(u';', u' ');
        if (hasPattern) {
            p += std::strlen(p) + 1;
        }
        const QString tail = QStringLiteral("(") + patterns + QStringLiteral(")");
        if (!hasPattern || description.endsWith(tail)) {
            filters.append(description);
        } else {
            filters.append(description + QStringLiteral(" ") + tail);
        }
        if (!hasPattern) {
            break;
        }
    }
    return filters;
}

bool RunQtFileDialog(QWidget* parent, const FileDialogRequest& request, std::string& path) {
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setWindowTitle(QString::fromLocal8Bit(request.title != nullptr ? request.title : ""));
    dialog.setAcceptMode(request.kind == FileDialogKind::kSave ? QFileDialog::AcceptSave
                                                               : QFileDialog::AcceptOpen);
    // Any name, existing or not, as the Windows dialogs accept without a must-exist flag. The
    // save dialog does not ask before a name that exists: the save never replaces a file.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    const QStringList filters = QtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
    }
    ListEveryNameForStarDotStar(dialog);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) {
        return false;
    }
    const QByteArray chosen = QFile::encodeName(files.first());
    path.assign(chosen.constData(), static_cast<size_t>(chosen.size()));
    return true;
}

}  // namespace tandrel
