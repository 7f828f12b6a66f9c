// Sheets on a window: one at a time, the rest in order, a question already waiting asked once.
#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include "test_environment.h"
#include "ui/alert_sheet.h"

namespace clipmoor {
namespace {

class AlertSheetTest : public testing::Test {
protected:
    void SetUp() override {
        window.resize(500, 300);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    // The sheets on screen now (closed ones may still await deletion).
    QList<QMessageBox*> shownSheets() const {
        QList<QMessageBox*> shown;
        for (QMessageBox* box : window.findChildren<QMessageBox*>())
            if (box->isVisible()) shown.append(box);
        return shown;
    }
    // Answers the sheet on screen with `button`; returns its message text.
    std::string answer(const QString& button) {
        if (!test::waitUntil([this] { return shownSheets().size() == 1; })) return "<none>";
        QMessageBox* box = shownSheets().front();
        const QString text = box->text();
        for (QAbstractButton* candidate : box->buttons())
            if (candidate->text() == button) candidate->click();
        test::waitUntil([&] { return !box->isVisible(); });
        return text.toStdString();
    }
    std::function<void(int)> recordAs(const QString& name) {
        return [this, name](int index) { answers.append(name + "=" + QString::number(index)); };
    }

    QWidget window;
    QStringList answers;
};

TEST_F(AlertSheetTest, OneSheetAtATimeInOrderAndAWaitingQuestionIsAskedOnce) {
    const AlertSheet first{"First", "", {"OK"}};
    const AlertSheet second{"Second", "", {"Yes", "No"}};
    EXPECT_TRUE(beginSheetModalForWindow(first, &window, recordAs("first")));
    EXPECT_FALSE(beginSheetModalForWindow(second, &window, recordAs("second")));
    // Identical to the one on screen: asked again afterwards.
    EXPECT_FALSE(beginSheetModalForWindow(first, &window, recordAs("first again")));
    // Identical to one waiting: merged into it, and hears its answer.
    EXPECT_FALSE(beginSheetModalForWindow(second, &window, recordAs("second again")));
    // Same texts, other buttons: another question.
    EXPECT_FALSE(beginSheetModalForWindow({"Second", "", {"OK"}}, &window, recordAs("other")));
    // Waiting questions make no box until their turn, however many come.
    for (int i = 0; i < 300; ++i) beginSheetModalForWindow(second, &window);
    EXPECT_EQ(window.findChildren<QMessageBox*>().size(), 1);

    EXPECT_EQ(answer("OK"), "First");
    EXPECT_EQ(answer("No"), "Second");
    EXPECT_EQ(answer("OK"), "First");
    EXPECT_EQ(answer("OK"), "Second");
    test::spinEventLoop(50);
    EXPECT_TRUE(shownSheets().isEmpty());
    EXPECT_EQ(answers,
              QStringList({"first=0", "second=1", "second again=1", "first again=0", "other=0"}));
}

TEST_F(AlertSheetTest, WaitingSheetsGoAwayWithTheirWindow) {
    auto* doomed = new QWidget;
    doomed->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(doomed));
    for (const char* text : {"one", "two", "three"})
        beginSheetModalForWindow({text, "", {"OK"}}, doomed, recordAs(text));
    delete doomed;
    test::spinEventLoop(50);
    EXPECT_TRUE(answers.isEmpty());
}

}  // namespace
}  // namespace clipmoor
