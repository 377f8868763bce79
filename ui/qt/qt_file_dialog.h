// The real file dialogs behind the dialog-host port: Qt's own, never the desktop's native one,
// so they behave alike everywhere and tests can drive them.
#pragma once

#include <QStringList>
#include <string>

#include "ui/dialog_host.h"

class QWidget;

namespace tandrel {

// Qt name filters from a list of description and pattern pairs, each zero-terminated and the
// list ended by an empty text. A description that already ends in its patterns in parentheses
// is used as it is; any other gets them appended.
QStringList QtNameFilters(const char* pairs);

// Runs the dialog modally over parent. True with the chosen full path, as local 8-bit text, on
// OK; false on Cancel. A typed name of a file that does not exist is accepted in both kinds, and
// the save dialog takes one that exists without asking to replace it.
bool RunQtFileDialog(QWidget* parent, const FileDialogRequest& request, std::string& path);

}  // namespace tandrel
