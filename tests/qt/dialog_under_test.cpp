#include "tests/qt/dialog_under_test.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <cstdlib>

namespace tandrel::test {

ApplicationScope::ApplicationScope() : configHome_(std::make_unique<TempDir>()) {
    static int argc = 1;
    static char name[] = "qt_dialog_tests";
    static char* argv[] = {name, nullptr};
    qputenv("XDG_CONFIG_HOME", QByteArray(configHome_->Path().string().c_str()));
    application_ = std::make_unique<QApplication>(argc, argv);
}

ApplicationScope::~ApplicationScope() {
    application_.reset();
    configHome_.reset();
}

DialogUnderTest::DialogUnderTest() {
    window_ = std::make_unique<QtMainDialog>(dialog_);
}

DialogUnderTest::~DialogUnderTest() {
    window_.reset();
    QApplication::processEvents();
}

void DialogUnderTest::Show() {
    window_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    window_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window_.get()));
}

void DialogUnderTest::Compare(const std::string& first, const std::string& second) {
    FirstPath().setText(QString::fromLocal8Bit(first.c_str()));
    SecondPath().setText(QString::fromLocal8Bit(second.c_str()));
    Click(IDC_COMPARE);
}

void DialogUnderTest::Click(int buttonId) {
    QPushButton& button = Button(buttonId);
    QTest::mouseClick(&button, Qt::LeftButton);
}

std::string DialogUnderTest::Text(int controlId) {
    const int length = Host().GetItemTextLength(controlId);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int copied = Host().GetItemText(controlId, text.data(), length + 1);
    EXPECT_EQ(copied, length);
    text.resize(static_cast<size_t>(copied));
    return text;
}

void WhenShownImpl(const std::function<QWidget*()>& find,
                   const std::function<void(QWidget*)>& action) {
    auto* timer = new QTimer(qApp);
    const QDeadlineTimer deadline(5000);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, find, action] {
        QWidget* const widget = find();
        if (widget == nullptr && !deadline.hasExpired()) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        if (widget == nullptr) {
            ADD_FAILURE() << "the expected window was never shown";
            return;
        }
        action(widget);
        // A failed check inside the action must not leave a modal run waiting for ever.
        if (auto* dialog = qobject_cast<QDialog*>(widget);
            dialog != nullptr && dialog->isVisible()) {
            ADD_FAILURE() << "the window was left open";
            dialog->reject();
        }
    });
    timer->start(10);
}

void TypeNameAndPress(QFileDialog* dialog, const QString& name,
                      QDialogButtonBox::StandardButton which) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->clear();
    QTest::keyClicks(edit, name);
    auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(buttons, nullptr);
    QPushButton* button = buttons->button(which);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled());
    button->click();
}

}  // namespace tandrel::test
