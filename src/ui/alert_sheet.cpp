#include "ui/alert_sheet.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <deque>
#include <vector>

namespace clipmoor {

namespace {
constexpr int kMinimumTextWidth = 380;
const char* const kQueueName = "clipmoor-sheet-queue";

using Completion = std::function<void(int buttonIndex)>;

bool operator==(const AlertSheet& a, const AlertSheet& b) {
    return a.messageText == b.messageText && a.informativeText == b.informativeText &&
           a.buttonTitles == b.buttonTitles;
}

// Builds and opens one sheet; every completion receives the chosen button.
QMessageBox* openSheet(const AlertSheet& alert, QWidget* parent,
                       std::vector<Completion> completions) {
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box->setIcon(QMessageBox::Warning);
    box->setText(alert.messageText);
    box->setInformativeText(alert.informativeText);
    // Left alone, the box wraps a sentence over five short lines; give the texts room.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        grid->addItem(
            new QSpacerItem(kMinimumTextWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
            grid->rowCount(), 0, 1, grid->columnCount());
    }

    QList<QAbstractButton*> buttons;
    for (const QString& title : alert.buttonTitles)
        buttons.append(box->addButton(
            title, buttons.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
    if (!buttons.isEmpty()) box->setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));

    QObject::connect(box, &QMessageBox::finished, box,
                     [box, buttons, completions = std::move(completions)](int) {
                         const int index = static_cast<int>(buttons.indexOf(box->clickedButton()));
                         for (const Completion& completion : completions)
                             if (completion) completion(index);
                     });
    box->open();
    return box;
}

// The sheets of one window: one shown at a time, as a window can show only one sheet; the
// others wait in order. Lives as a child of the window, so the waiting ones go with it.
class SheetQueue : public QObject {
public:
    explicit SheetQueue(QWidget* window) : QObject(window), window_(window) {
        setObjectName(QString::fromLatin1(kQueueName));
    }

    static SheetQueue* of(QWidget* window) {
        auto* existing = dynamic_cast<SheetQueue*>(window->findChild<QObject*>(
            QString::fromLatin1(kQueueName), Qt::FindDirectChildrenOnly));
        return existing ? existing : new SheetQueue(window);
    }

    QMessageBox* add(const AlertSheet& alert, Completion completion) {
        if (!shown_ && waiting_.empty()) return show(alert, {std::move(completion)});
        // The same question already waiting is asked once; whoever asked it hears the answer.
        for (Waiting& waiting : waiting_) {
            if (waiting.alert == alert) {
                waiting.completions.push_back(std::move(completion));
                return nullptr;
            }
        }
        waiting_.push_back({alert, {std::move(completion)}});
        return nullptr;
    }

private:
    struct Waiting {
        AlertSheet alert;
        std::vector<Completion> completions;
    };

    QMessageBox* show(const AlertSheet& alert, std::vector<Completion> completions) {
        QMessageBox* box = openSheet(alert, window_, std::move(completions));
        shown_ = box;
        // The next one opens as soon as this one is answered (after its completions ran), or
        // once it is gone without an answer.
        connect(box, &QMessageBox::finished, this, [this, box] {
            if (shown_ != box) return;
            shown_ = nullptr;
            showNext();
        });
        connect(box, &QObject::destroyed, this,
                [this] { QTimer::singleShot(0, this, [this] { showNext(); }); });
        return box;
    }

    void showNext() {
        if (shown_ || waiting_.empty()) return;
        Waiting next = std::move(waiting_.front());
        waiting_.pop_front();
        show(next.alert, std::move(next.completions));
    }

    QWidget* const window_;
    QPointer<QMessageBox> shown_;
    std::deque<Waiting> waiting_;
};

}  // namespace

QMessageBox* beginSheetModalForWindow(const AlertSheet& alert, QWidget* window,
                                      std::function<void(int buttonIndex)> completion) {
    QWidget* parent = window ? window->window() : nullptr;
    if (!parent) return openSheet(alert, nullptr, {std::move(completion)});
    return SheetQueue::of(parent)->add(alert, std::move(completion));
}

}  // namespace clipmoor
