#include "ui/qt/path_box.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace tandrel {
namespace {

// Only the first file counts, as with a shell drop; a drop whose first item is no local file
// (a web link, say) brings no path at all.
QString FirstDroppedPath(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return QString();
    }
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) {
        return QString();
    }
    return urls.first().toLocalFile();
}

}  // namespace

PathBox::PathBox(QWidget* parent) : QLineEdit(parent) {
    setAcceptDrops(false);
}

void PathBox::AcceptFileDrops() {
    acceptsFiles_ = true;
    setAcceptDrops(true);
}

void PathBox::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

// Dragged text is refused as well: the box takes files, never the edit's own text drops.
void PathBox::dragMoveEvent(QDragMoveEvent* event) {
    if (acceptsFiles_ && !FirstDroppedPath(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void PathBox::dropEvent(QDropEvent* event) {
    const QString path = acceptsFiles_ ? FirstDroppedPath(event->mimeData()) : QString();
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    setText(path);
    event->acceptProposedAction();
}

}  // namespace tandrel
