// Files dropped from the file manager: taken by the two path boxes only, first file only.
#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <memory>
#include <string>
#include <vector>

#include "tests/qt/dialog_under_test.h"
#include "tests/support/temp_dir.h"

namespace tandrel {
namespace {

using test::DialogUnderTest;
using test::TempDir;

std::unique_ptr<QMimeData> FileUrls(const std::vector<std::string>& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const std::string& path : paths) {
        urls.append(QUrl::fromLocalFile(QString::fromStdString(path)));
    }
    data->setUrls(urls);
    return data;
}

struct DropOutcome {
    bool enterAccepted = false;
    bool dropAccepted = false;
};

// The events a drag from the file manager brings: enter, one move, then the drop. The enter
// event goes through the application, which offers it to the widget or the nearest parent
// that accepts drops, as for a real drag.
DropOutcome Drop(QWidget* target, const QMimeData& data) {
    DropOutcome outcome;
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    outcome.enterAccepted = enter.isAccepted();
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    outcome.dropAccepted = drop.isAccepted();
    return outcome;
}

class DialogDrop : public ::testing::Test {
  protected:
    void SetUp() override {
        t_.Show();
        for (const char* name : {"one.bin", "two.bin", "three.bin"}) {
            files_.push_back(dir_.Write(name, std::string(name)));
        }
    }

    TempDir dir_;
    DialogUnderTest t_;
    std::vector<std::string> files_;
};

TEST_F(DialogDrop, ThreeFilesOnTheSecondBoxPutTheFirstThere) {
    const auto data = FileUrls(files_);
    const DropOutcome outcome = Drop(&t_.SecondPath(), *data);
    EXPECT_TRUE(outcome.enterAccepted);
    EXPECT_TRUE(outcome.dropAccepted);
    EXPECT_EQ(t_.Text(IDC_SECOND_PATH), files_[0]);
    EXPECT_EQ(t_.Text(IDC_FIRST_PATH), "");
}

TEST_F(DialogDrop, DropReplacesTypedText) {
    t_.FirstPath().setFocus();
    QTest::keyClicks(&t_.FirstPath(), QStringLiteral("typed by hand"));
    ASSERT_EQ(t_.Text(IDC_FIRST_PATH), "typed by hand");
    const auto data = FileUrls({files_[1]});
    EXPECT_TRUE(Drop(&t_.FirstPath(), *data).dropAccepted);
    EXPECT_EQ(t_.Text(IDC_FIRST_PATH), files_[1]);
}

// Outside the two path boxes nothing takes a drop: not the result box (whose Qt class would
// take text by default), not its viewport, not the dialog or its other controls.
TEST_F(DialogDrop, DropsElsewhereDoNothing) {
    t_.FirstPath().setText(QStringLiteral("first"));
    t_.SecondPath().setText(QStringLiteral("second"));
    t_.Host().SetItemText(IDC_RESULT, "result");
    std::vector<QWidget*> targets = {&t_.Window(), &t_.Result(), t_.Result().viewport(),
                                     &t_.Button(IDC_COMPARE), &t_.Check(IDC_SHORT_NAMES)};
    for (QLabel* label : t_.Window().findChildren<QLabel*>()) {
        targets.push_back(label);
    }
    const auto data = FileUrls(files_);
    for (QWidget* target : targets) {
        const DropOutcome outcome = Drop(target, *data);
        EXPECT_FALSE(outcome.enterAccepted) << target->metaObject()->className();
        EXPECT_FALSE(outcome.dropAccepted) << target->metaObject()->className();
        EXPECT_FALSE(target->acceptDrops()) << target->metaObject()->className();
    }
    EXPECT_EQ(t_.Text(IDC_FIRST_PATH), "first");
    EXPECT_EQ(t_.Text(IDC_SECOND_PATH), "second");
    EXPECT_EQ(t_.Text(IDC_RESULT), "result");
}

// The path boxes take files only: dragged text, a web link first, or an empty list of links
// change nothing.
TEST_F(DialogDrop, PathBoxesRefuseAnythingButLocalFiles) {
    t_.FirstPath().setText(QStringLiteral("kept"));
    auto text = std::make_unique<QMimeData>();
    text->setText(QStringLiteral("/some/text"));
    auto web = std::make_unique<QMimeData>();
    web->setUrls({QUrl(QStringLiteral("https://example.org/a.bin")),
                  QUrl::fromLocalFile(QString::fromStdString(files_[0]))});
    auto none = std::make_unique<QMimeData>();
    none->setUrls({});
    for (const QMimeData* data : {text.get(), web.get(), none.get()}) {
        const DropOutcome outcome = Drop(&t_.FirstPath(), *data);
        EXPECT_FALSE(outcome.enterAccepted);
        EXPECT_FALSE(outcome.dropAccepted);
        EXPECT_EQ(t_.Text(IDC_FIRST_PATH), "kept");
    }
}

// A dropped path is local 8-bit text like a typed one, and can be compared at once.
TEST_F(DialogDrop, DroppedPathsCompare) {
    const std::string first = dir_.Write("caf\xC3\xA9.bin", std::string("AB"));
    const auto firstData = FileUrls({first});
    const auto secondData = FileUrls({files_[0]});
    Drop(&t_.FirstPath(), *firstData);
    Drop(&t_.SecondPath(), *secondData);
    EXPECT_EQ(t_.Text(IDC_FIRST_PATH), first);
    t_.Click(IDC_COMPARE);
    EXPECT_EQ(t_.Text(IDC_RESULT).rfind("Comparing " + first + "\n and " + files_[0] + "\n", 0),
              0u);
}

}  // namespace
}  // namespace tandrel
