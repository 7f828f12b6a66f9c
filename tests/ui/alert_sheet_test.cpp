#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "test_environment.h"
#include "ui/alert_sheet.h"

namespace clipmoor {
namespace {

TEST(AlertSheetTest, OpensAWindowModalWarningAndReportsTheChosenButtonLater) {
    QWidget window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    int chosen = -2;
    QPointer<QMessageBox> sheet =
        beginSheetModalForWindow({"Oops...", "Something to read.", {"Quit anyway", "Cancel"}},
                                 &window, [&chosen](int index) { chosen = index; });
    ASSERT_TRUE(sheet);
    EXPECT_EQ(chosen, -2);  // returned before any answer
    EXPECT_EQ(sheet->parentWidget(), &window);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->icon(), QMessageBox::Warning);
    EXPECT_EQ(sheet->text(), "Oops...");
    EXPECT_EQ(sheet->informativeText(), "Something to read.");
    ASSERT_EQ(sheet->buttons().size(), 2);
    EXPECT_TRUE(sheet->isVisible());

    QAbstractButton* cancel = sheet->buttons().at(0)->text() == "Cancel" ? sheet->buttons().at(0)
                                                                         : sheet->buttons().at(1);
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_EQ(chosen, 1);
    EXPECT_TRUE(test::waitUntil([&] { return sheet.isNull(); }));  // deletes itself
}

TEST(AlertSheetTest, DefaultsToOneOkButton) {
    QWidget window;
    window.show();
    QMessageBox* sheet = beginSheetModalForWindow({"Title", "Text"}, &window);
    ASSERT_EQ(sheet->buttons().size(), 1);
    EXPECT_EQ(sheet->buttons().first()->text(), "OK");
}

}  // namespace
}  // namespace clipmoor
