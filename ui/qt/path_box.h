// A path box: a one-line edit that takes a file dropped from the file manager.
#pragma once

#include <QLineEdit>

namespace tandrel {

class PathBox : public QLineEdit {
    Q_OBJECT

  public:
    // Drops stay refused until AcceptFileDrops, which the dialog's initialisation calls.
    explicit PathBox(QWidget* parent);

    void AcceptFileDrops();

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    bool acceptsFiles_ = false;
};

}  // namespace tandrel
