// The download list under load: a store of many records (mixed states) opened in the real main
// window, side by side with a plain QListView over a QStringListModel of as many rows.
//
//   list_scroll [--records N]         fills a fresh store with N records (default 100000),
//                                      then measures
//   list_scroll --fill N               only fills the store (in $XDG_DATA_HOME/Clipmoor)
//   list_scroll --measure              only measures, on the store a --fill left
//   list_scroll --screenshot FILE      shows a few rows in every state and saves the window
//
// Reports the time to the first painted list, resident memory at each stage, row views alive
// at one and two window heights, and the time per frame while scrolling the whole list top to
// bottom, one window height per frame. The last line is
//   scroll ratio clipmoor/qlistview: X.XX
// (median frame time of the list over the reference's). Nothing leaves the machine: the site's
// hosts are pointed at a closed loopback port, so the operations and thumbnail fetches of the
// rows on screen fail at once.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QScrollBar>
#include <QStringListModel>
#include <QTemporaryDir>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "download/clipmoor_model.h"
#include "download/video.h"
#include "main_window/main_view_controller.h"
#include "main_window/main_window.h"
#include "platform/http/transfer_engine.h"
#include "platform/object_store/managed_object_context.h"
#include "platform/operation_queue.h"
#include "platform/user_defaults.h"
#include "store/core_data_controller.h"
#include "ui/tvk_table_view.h"

using namespace clipmoor;

namespace {

constexpr int kWindowWidth = 780;
constexpr int kWindowHeight = 500;
constexpr int kMaximumFrames = 6000;

// Heap bytes in use now, in KiB: unlike the resident size, it falls again when memory is freed.
long heapKiB() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
}

long residentKiB(const char* field = "VmRSS:") {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(strlen(field))).trimmed().split(' ')[0].toLong();
    return -1;
}

QString titleOf(int i) {
    return QStringLiteral("Benchmark video number %1 - a title of ordinary length").arg(i);
}

void fillStore(int count) {
    CoreDataController store(loadClipmoorModel);
    ManagedObjectContext* context = store.managedObjectContext();
    for (int i = 0; i < count; ++i) {
        auto video = context->insertNewObjectForEntityForName<Video>("Video");
        video->setVideoID(QStringLiteral("Bench%1").arg(i, 6, 10, QLatin1Char('0')));
        video->setTitle(titleOf(i));
        video->setFileName(titleOf(i) + QStringLiteral("(medium)"));
        video->setFileExtension(QStringLiteral("mp4"));
        video->setItag(QStringLiteral("18"));
        video->setQuality(QStringLiteral("medium"));
        video->setDownloadURL(QStringLiteral("https://www.youtube.com/media/Bench%1.mp4").arg(i));
        video->setDownloadState(static_cast<qint16>(i % 5));
        video->setTotalBytesExpected(10'000'000);
        video->setTotalBytesWritten((i * 7919LL) % 10'000'000);
    }
    Error error;
    if (!context->save(&error)) {
        std::fprintf(stderr, "cannot save: %s\n", qPrintable(error.debugDescription()));
        std::exit(1);
    }
}

// Runs the event loop until `widget` has painted once; returns the milliseconds since `clock`
// started.
// Rows cover the list's viewport completely, so the first paint may go to a row alone: any
// paint of the viewport or of a widget inside it counts.
struct PaintWatch : QObject {
    QWidget* area = nullptr;
    bool painted = false;
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            auto* widget = qobject_cast<QWidget*>(object);
            if (widget && (widget == area || area->isAncestorOf(widget))) painted = true;
        }
        return false;
    }
};

double untilPainted(QWidget* widget, const QElapsedTimer& clock) {
    PaintWatch watch;
    watch.area = widget;
    qApp->installEventFilter(&watch);
    while (!watch.painted) QApplication::processEvents(QEventLoop::AllEvents, 5);
    const double painted = clock.nsecsElapsed() / 1e6;
    qApp->removeEventFilter(&watch);
    return painted;
}

struct FrameStats {
    std::vector<double> frames;
    double median() {
        std::sort(frames.begin(), frames.end());
        return frames.empty() ? 0 : frames[frames.size() / 2];
    }
    double max() const {
        return frames.empty() ? 0 : *std::max_element(frames.begin(), frames.end());
    }
    long over(double ms) const {
        return std::count_if(frames.begin(), frames.end(), [&](double f) { return f > ms; });
    }
};

// Scrolls top to bottom one window height per frame (more when that would exceed the frame
// cap); each frame is the scroll plus the paint it causes.
FrameStats scrollThrough(QAbstractScrollArea* area) {
    QScrollBar* bar = area->verticalScrollBar();
    bar->setValue(0);
    QApplication::processEvents();
    const int page = std::max(1, area->viewport()->height());
    const int step = std::max(page, bar->maximum() / kMaximumFrames + 1);
    FrameStats stats;
    QElapsedTimer frame;
    while (bar->value() < bar->maximum()) {
        frame.start();
        bar->setValue(bar->value() + step);
        area->viewport()->repaint();
        QApplication::processEvents();
        stats.frames.push_back(frame.nsecsElapsed() / 1e6);
    }
    return stats;
}

void printStats(const char* name, FrameStats& stats) {
    const double median = stats.median();
    std::printf("%-10s frames %zu, median %.3f ms, max %.3f ms, over 16 ms: %ld\n", name,
                stats.frames.size(), median, stats.max(), stats.over(16.0));
}

int measure() {
    std::printf("resident at start: %ld KiB\n", residentKiB());

    // How many records there are, and what holding them costs, from a store opened and
    // closed again.
    int count = 0;
    long recordsHeap = 0;
    double readMs = 0;
    {
        const long before = heapKiB();
        QElapsedTimer read;
        read.start();
        CoreDataController countStore(loadClipmoorModel);
        Error error;
        const auto fetched =
            countStore.managedObjectContext()->executeFetchRequest(FetchRequest("Video"), &error);
        count = fetched ? int(fetched->size()) : 0;
        readMs = read.nsecsElapsed() / 1e6;
        recordsHeap = heapKiB() - before;
    }
    std::printf("records in the store: %d, read and woken in %.1f ms, heap to hold them: %ld KiB\n",
                count, readMs, recordsHeap);

    // The reference: a plain list view over a string model of as many rows.
    QElapsedTimer clock;
    FrameStats referenceFrames;
    double referencePaint = 0;
    {
        const long before = heapKiB();
        clock.start();
        QStringList titles;
        titles.reserve(count);
        for (int i = 0; i < count; ++i) titles.append(titleOf(i));
        QStringListModel model(titles);
        QListView view;
        view.setUniformItemSizes(true);
        view.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
        view.setModel(&model);
        view.resize(kWindowWidth, kWindowHeight);
        view.show();
        referencePaint = untilPainted(view.viewport(), clock);
        std::printf("qlistview  first paint %.1f ms, heap +%ld KiB\n", referencePaint,
                    heapKiB() - before);
        referenceFrames = scrollThrough(&view);
    }

    // The application's start: the store is opened and the window shows the list.
    const long heapBefore = heapKiB();
    clock.start();
    auto store = std::make_unique<CoreDataController>(loadClipmoorModel);
    auto window = std::make_unique<MainWindow>(store.get());
    window->resize(kWindowWidth, kWindowHeight);
    window->show();
    TVKTableView* table = window->mainViewController()->tableView();
    const double listPaint = untilPainted(table->viewport(), clock);
    std::printf("clipmoor   first paint %.1f ms (%d rows)\n", listPaint, table->numberOfRows());
    std::printf("first paint difference: %+.1f ms (of which reading the store: about %.1f ms)\n",
                listPaint - referencePaint, readMs);
    const long windowHeap = heapKiB() - heapBefore;
    std::printf("clipmoor   heap: store, records and window %ld KiB; less the records: %ld KiB\n",
                windowHeap, windowHeap - recordsHeap);
    std::printf("clipmoor   one window height:  row views alive %d, heap %ld KiB\n",
                table->viewsAlive(), heapKiB() - heapBefore);
    window->resize(kWindowWidth, 2 * kWindowHeight);
    QApplication::processEvents();
    std::printf("clipmoor   two window heights: row views alive %d, heap %ld KiB\n",
                table->viewsAlive(), heapKiB() - heapBefore);
    window->resize(kWindowWidth, kWindowHeight);
    QApplication::processEvents();

    FrameStats listFrames = scrollThrough(table);
    std::printf(
        "clipmoor   after scrolling: row views alive %d, made %d, heap %ld KiB, "
        "operations queued %zu\n",
        table->viewsAlive(), table->viewsMade(), heapKiB() - heapBefore,
        window->mainViewController()->downloadOperationQueue()->operationCount());
    QElapsedTimer drain;
    drain.start();
    while (drain.elapsed() < 3000) QApplication::processEvents(QEventLoop::AllEvents, 50);
    std::printf("clipmoor   3 s later: heap %ld KiB, operations queued %zu\n",
                heapKiB() - heapBefore,
                window->mainViewController()->downloadOperationQueue()->operationCount());
    std::printf("peak resident: %ld KiB\n", residentKiB("VmHWM:"));

    printStats("qlistview", referenceFrames);
    printStats("clipmoor", listFrames);
    window.reset();
    store.reset();
    const double ratio =
        referenceFrames.median() > 0 ? listFrames.median() / referenceFrames.median() : 0;
    std::printf("scroll ratio clipmoor/qlistview: %.2f\n", ratio);
    return 0;
}

int screenshot(const QString& file) {
    fillStore(10);
    CoreDataController store(loadClipmoorModel);
    MainWindow window(&store);
    window.resize(kWindowWidth, kWindowHeight);
    window.show();
    QApplication::processEvents();
    // The texts each state shows, as the record writes them.
    const char* texts[] = {"Queued For Dowload", "Paused: 4.2 MB of 10 MB", "Ready to play: 10 MB",
                           "4.2 MB of 10 MB", "Failed to download Media"};
    const auto objects = *window.mainViewController()->fetchedResultsController()->fetchedObjects();
    for (std::size_t i = 0; i < objects.size(); ++i) {
        auto video = std::static_pointer_cast<Video>(objects[i]);
        const qint16 state = static_cast<qint16>(i % 5);
        video->setTotalBytesWritten(state == 2 ? 10'000'000 : 4'200'000);
        video->setDownloadState(state);
        video->setSizeRemainingString(QString::fromLatin1(texts[state]));
        video->setPercentRemainingString(state == 2 ? QString() : QStringLiteral("42%"));
        video->setShouldHidePercentRemainingIndicator(state == 2);
        video->setShouldHideDownloadProgressIndicator(state == 2 || state == 4);
    }
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return window.grab().save(file) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QTemporaryDir home;
    if (qEnvironmentVariableIsEmpty("XDG_DATA_HOME")) {
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
        qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
        qputenv("XDG_CACHE_HOME", (home.path() + "/cache").toUtf8());
    }
    qputenv("CLIPMOOR_CONNECT_TO", "www.youtube.com:443:127.0.0.1:9,i.ytimg.com:443:127.0.0.1:9");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QDir().mkpath(QDir::homePath() + "/Downloads/Clipmoor");
    UserDefaults::standard().setValue(QDir::homePath() + "/Downloads/Clipmoor",
                                      "ClipmoorMediaDownloadPath");

    const QStringList arguments = app.arguments();
    const auto option = [&](const QString& name) {
        const int at = arguments.indexOf(name);
        return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1] : QString();
    };
    if (arguments.contains("--screenshot")) return screenshot(option("--screenshot"));
    if (arguments.contains("--fill")) {
        fillStore(option("--fill").toInt());
        return 0;
    }
    if (!arguments.contains("--measure")) {
        const int records = arguments.contains("--records") ? option("--records").toInt() : 100000;
        QElapsedTimer fill;
        fill.start();
        fillStore(records);
        std::printf("filled %d records in %.1f s\n", records, fill.elapsed() / 1000.0);
    }
    return measure();
}
