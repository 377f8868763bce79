// The dialog as the template describes it: caption, size, controls, texts, geometry, tab order,
// the icon and the initial states that OnInitDialog sets.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontMetricsF>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <vector>

#include "tests/qt/dialog_under_test.h"
#include "ui/qt/dialog_units.h"

namespace tandrel {
namespace {

using test::DialogUnderTest;

enum class Kind { kLabel, kPushButton, kCheckBox, kPathBox, kResultBox };

struct ControlRow {
    int id;
    Kind kind;
    const char* text;
    QRect pixels;  // at 96 DPI: 1.5 px per horizontal unit, 1.625 per vertical unit, rounded
};

const std::vector<ControlRow> kRows = {
    {IDC_LABEL, Kind::kLabel, "First file:", QRect(74, 26, 39, 13)},
    {IDC_BROWSE_FIRST, Kind::kPushButton, "...", QRect(27, 41, 33, 23)},
    {IDC_FIRST_PATH, Kind::kPathBox, "", QRect(74, 42, 374, 23)},
    {IDC_LABEL, Kind::kLabel, "Second file:", QRect(74, 85, 57, 13)},
    {IDC_BROWSE_SECOND, Kind::kPushButton, "...", QRect(26, 101, 33, 23)},
    {IDC_SECOND_PATH, Kind::kPathBox, "", QRect(74, 101, 374, 23)},
    {IDC_COMPARE, Kind::kPushButton, "Compare", QRect(27, 141, 75, 23)},
    {IDC_SAVE_RESULT, Kind::kPushButton, "Save result", QRect(108, 140, 75, 23)},
    {IDC_LABEL, Kind::kLabel, "Result:", QRect(32, 172, 35, 13)},
    {IDC_RESULT, Kind::kResultBox, "", QRect(26, 193, 426, 174)},
    {IDC_SPACE_SEPARATOR, Kind::kCheckBox, "Space separator", QRect(191, 145, 102, 16)},
    {IDC_SHORT_NAMES, Kind::kCheckBox, "Short file name", QRect(293, 146, 95, 16)},
};

class MainDialogTemplate : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(t_.Window().screen()->logicalDotsPerInchX(), 96.0);
        ASSERT_EQ(t_.Window().screen()->logicalDotsPerInchY(), 96.0);
    }

    QWidget* Find(const ControlRow& row) {
        if (row.id != IDC_LABEL) {
            return t_.Window().Control(row.id);
        }
        for (QLabel* label : t_.Window().findChildren<QLabel*>()) {
            if (label->text() == QLatin1String(row.text)) {
                return label;
            }
        }
        return nullptr;
    }

    DialogUnderTest t_;
};

TEST_F(MainDialogTemplate, CaptionAndFixedSize) {
    EXPECT_EQ(t_.Window().windowTitle(), QStringLiteral("Tandrel 3.0"));
    EXPECT_EQ(t_.Window().size(), QSize(480, 403));
    EXPECT_EQ(t_.Window().minimumSize(), QSize(480, 403));
    EXPECT_EQ(t_.Window().maximumSize(), QSize(480, 403));
}

TEST_F(MainDialogTemplate, ControlsHaveTheRowsClassTextAndGeometry) {
    for (const ControlRow& row : kRows) {
        SCOPED_TRACE(row.text);
        SCOPED_TRACE(row.id);
        QWidget* const control = Find(row);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->parentWidget(), &t_.Window());
        EXPECT_EQ(control->geometry(), row.pixels);
        switch (row.kind) {
            case Kind::kLabel:
                EXPECT_EQ(control->focusPolicy(), Qt::NoFocus);
                break;
            case Kind::kPushButton: {
                auto* button = qobject_cast<QPushButton*>(control);
                ASSERT_NE(button, nullptr);
                EXPECT_EQ(button->text(), QLatin1String(row.text));
                EXPECT_FALSE(button->isCheckable());
                EXPECT_FALSE(button->autoDefault());
                EXPECT_FALSE(button->isDefault());
                break;
            }
            case Kind::kCheckBox: {
                auto* box = qobject_cast<QCheckBox*>(control);
                ASSERT_NE(box, nullptr);
                EXPECT_EQ(box->text(), QLatin1String(row.text));
                break;
            }
            case Kind::kPathBox: {
                auto* box = qobject_cast<PathBox*>(control);
                ASSERT_NE(box, nullptr);
                EXPECT_TRUE(box->text().isEmpty());
                EXPECT_TRUE(box->hasFrame());
                break;
            }
            case Kind::kResultBox:
                ASSERT_NE(qobject_cast<ResultEdit*>(control), nullptr);
                break;
        }
    }
    EXPECT_EQ(t_.Window().findChildren<QLabel*>().size(), 3);
    EXPECT_EQ(t_.Window().findChildren<QAbstractButton*>().size(), 6);
}

// Every label and check-box text is readable whole inside its box in the font chosen.
TEST_F(MainDialogTemplate, TextsFitTheirBoxes) {
    for (QLabel* label : t_.Window().findChildren<QLabel*>()) {
        EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
        EXPECT_LE(label->fontMetrics().height(), label->height()) << label->text().toStdString();
    }
    for (int id : {IDC_SPACE_SEPARATOR, IDC_SHORT_NAMES}) {
        QCheckBox& box = t_.Check(id);
        EXPECT_LE(box.sizeHint().width(), box.width()) << box.text().toStdString();
    }
}

TEST_F(MainDialogTemplate, TabOrderIsRowOrder) {
    const std::vector<int> expected = {IDC_BROWSE_FIRST, IDC_FIRST_PATH,      IDC_BROWSE_SECOND,
                                       IDC_SECOND_PATH,  IDC_COMPARE,         IDC_SAVE_RESULT,
                                       IDC_RESULT,       IDC_SPACE_SEPARATOR, IDC_SHORT_NAMES};
    std::vector<int> order;
    QWidget* const first = t_.Window().Control(IDC_BROWSE_FIRST);
    QWidget* widget = first;
    do {
        if (widget->focusPolicy() & Qt::TabFocus) {
            for (int id : expected) {
                if (t_.Window().Control(id) == widget) {
                    order.push_back(id);
                }
            }
        }
        widget = widget->nextInFocusChain();
    } while (widget != first && order.size() <= expected.size());
    EXPECT_EQ(order, expected);
}

TEST_F(MainDialogTemplate, TabFromTheResultBoxMovesOnWithoutTyping) {
    t_.Show();
    t_.Result().setFocus();
    ASSERT_TRUE(t_.Result().hasFocus());
    QTest::keyClick(&t_.Result(), Qt::Key_Tab);
    EXPECT_TRUE(t_.Check(IDC_SPACE_SEPARATOR).hasFocus());
    EXPECT_EQ(t_.Text(IDC_RESULT), "");
}

TEST_F(MainDialogTemplate, FirstTabStopHasTheFocusWhenShown) {
    t_.Show();
    EXPECT_EQ(t_.Window().focusWidget(), t_.Window().Control(IDC_BROWSE_FIRST));
}

TEST_F(MainDialogTemplate, OptionsStartWithSeparatorOnAndShortNamesOff) {
    EXPECT_TRUE(t_.Check(IDC_SPACE_SEPARATOR).isChecked());
    EXPECT_FALSE(t_.Check(IDC_SHORT_NAMES).isChecked());
    EXPECT_TRUE(t_.Host().IsItemChecked(IDC_SPACE_SEPARATOR));
    EXPECT_FALSE(t_.Host().IsItemChecked(IDC_SHORT_NAMES));
}

TEST_F(MainDialogTemplate, ResultBoxIsAnEditableFixedPitchBoxThatNeverWraps) {
    t_.Show();
    ResultEdit& box = t_.Result();
    EXPECT_FALSE(box.isReadOnly());
    EXPECT_EQ(box.lineWrapMode(), QPlainTextEdit::NoWrap);
    // Fixed pitch, with a cell as high as the 12 pixels the Windows box asks Terminal for.
    const QFontMetricsF metrics(box.font());
    EXPECT_EQ(metrics.horizontalAdvance(QStringLiteral("iiiiii")),
              metrics.horizontalAdvance(QStringLiteral("MMMMMM")));
    EXPECT_NEAR(metrics.height(), 12.0, 1.0);
    EXPECT_FALSE(box.horizontalScrollBar()->isVisible());
    EXPECT_FALSE(box.verticalScrollBar()->isVisible());
    // A single line far wider than the box stays one line.
    t_.Host().SetItemText(IDC_RESULT, std::string(500, 'x').c_str());
    EXPECT_EQ(box.document()->lineCount(), 1);
}

// The window icon holds both images of res/tandrel.ico, pixel for pixel.
TEST_F(MainDialogTemplate, WindowIconComesFromTheIconFile) {
    const QIcon icon = t_.Window().windowIcon();
    ASSERT_FALSE(icon.isNull());
    QImageReader reader(QStringLiteral(TANDREL_SOURCE_DIR "/res/tandrel.ico"));
    ASSERT_EQ(reader.imageCount(), 2);
    int images = 0;
    for (int index = 0; index < reader.imageCount(); ++index) {
        ASSERT_TRUE(reader.jumpToImage(index));
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull());
        ++images;
        const QSize size = image.size();
        EXPECT_TRUE(icon.availableSizes().contains(size)) << size.width();
        const QImage shown = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(shown, image.convertToFormat(QImage::Format_ARGB32)) << size.width();
    }
    EXPECT_EQ(images, 2);
}

// Other screens scale both units by their logical DPI; each value is rounded on its own.
TEST(DialogUnitsTest, ScaleWithTheScreen) {
    struct Case {
        double dpi;
        QRect result;  // IDC_RESULT: 17, 119, 284, 107
        QSize dialog;  // 320 by 248
    };
    const std::vector<Case> cases = {
        {96, QRect(26, 193, 426, 174), QSize(480, 403)},
        {120, QRect(32, 242, 533, 217), QSize(600, 504)},
        {144, QRect(38, 290, 639, 261), QSize(720, 605)},
        {192, QRect(51, 387, 852, 348), QSize(960, 806)},
    };
    for (const Case& c : cases) {
        const DialogUnits units(c.dpi, c.dpi);
        EXPECT_EQ(units.Rect(17, 119, 284, 107), c.result) << c.dpi;
        EXPECT_EQ(QSize(units.X(320), units.Y(248)), c.dialog) << c.dpi;
    }
    const DialogUnits mixed(96, 192);
    EXPECT_EQ(mixed.Rect(1, 1, 3, 3), QRect(2, 3, 5, 10));
    EXPECT_EQ(DialogUnits::ForScreen(nullptr).Rect(17, 119, 284, 107), QRect(26, 193, 426, 174));
}

}  // namespace
}  // namespace tandrel
