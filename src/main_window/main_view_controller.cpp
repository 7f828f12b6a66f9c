#include "main_window/main_view_controller.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>

#include "extractor/site_endpoints.h"
#include "extractor/vx_youtube_extractor.h"
#include "main_window/address_recognition.h"
#include "main_window/clipboard_address_pickup.h"
#include "main_window/download_notifier.h"
#include "main_window/format_table.h"
#include "main_window/thumbnail_loader.h"
#include "platform/operation_queue.h"
#include "platform/user_defaults.h"
#include "store/core_data_controller.h"
#include "ui/alert_sheet.h"
#include "ui/clipmoor_text_view.h"
#include "ui/spinning_progress_indicator.h"
#include "ui/video_item_view.h"
#include "ui/video_preview_view.h"

namespace clipmoor {

namespace {
// Posted by the application's clear-list command.
const char* const kClearDownloadListNotification =
    "ClipmoorDidRequestToClearDownloadListNotification";
const QString kOops = QStringLiteral("Oops...");
const QString kSecondVideoSiteText =
    QStringLiteral("We don't do Vimeo videos yet. Please try a youtube url.");
const QString kUnrecognizedAddressText = QStringLiteral(
    "We don't recognize this url. Please check to make sure you have avalid youtube video url.");
const QString kRefusedMessage = QStringLiteral("Unable to download Video.");
const QString kRefusedText = QStringLiteral(
    "Watch this video on YouTube. Playback/Downloading has been disabled by Youtube and the "
    "video owner.");
}  // namespace

MainViewController::MainViewController(CoreDataController* coreDataController, QWidget* parent)
    : QWidget(parent), coreDataController_(coreDataController) {
    loadView();
    viewDidLoad();
}

MainViewController::~MainViewController() {
    // The field and the table are destroyed after this object's own members: they must not
    // call back into it.
    if (urlTextField_) urlTextField_->setDelegate(nullptr);
    if (tableView_) {
        tableView_->setDataSource(nullptr);
        tableView_->setDelegate(nullptr);
    }
    if (fetchedResultsController_) fetchedResultsController_->setDelegate(nullptr);
    releasePausedOperations();
}

void MainViewController::loadView() {
    auto* field = new ClipmoorTextField(this);
    field->setObjectName(QStringLiteral("urlTextField"));
    field->setPlaceholderText(tr("Paste a video address, or type one and press Return"));
    field->setClearButtonEnabled(false);
    field->setAccessibleName(tr("Video address"));
    urlTextField_ = field;

    auto* indicator = new SpinningProgressIndicator(this);
    indicator->setObjectName(QStringLiteral("urlparserProgressIndicator"));
    QSizePolicy keepPlace = indicator->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);  // the row must not shift while a lookup runs
    indicator->setSizePolicy(keepPlace);
    indicator->setHidden(true);
    urlparserProgressIndicator_ = indicator;

    auto* popup = new QComboBox(this);
    popup->setObjectName(QStringLiteral("formatPopupButton"));
    popup->setPlaceholderText(tr("Format"));
    popup->setAccessibleName(tr("Format"));
    popup->setMinimumContentsLength(9);
    popup->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    formatPopupButton_ = popup;

    auto* startButton = new QPushButton(tr("Download"), this);
    startButton->setObjectName(QStringLiteral("downloadStartButton"));
    startButton->setAccessibleName(tr("Download"));
    connect(startButton, &QPushButton::clicked, this, [this] { downloadAudioOrVideo(); });
    downloadStartButton_ = startButton;

    // The same thumbnail size as the rows: the preview's picture comes from the list's cache.
    auto* preview = new VideoPreviewView(VideoItemView::kThumbnailSize, this);
    videoPreview_ = preview;

    auto* table = new TVKTableView(this);
    table->setObjectName(QStringLiteral("tableView"));
    table->setAccessibleName(tr("Downloads"));
    table->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    tableView_ = table;

    auto* topRow = new QHBoxLayout;
    topRow->setSpacing(6);
    topRow->addWidget(field, 1);
    topRow->addWidget(indicator);
    topRow->addWidget(popup);
    topRow->addWidget(startButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);
    layout->addLayout(topRow);
    layout->addWidget(preview);
    layout->addWidget(table, 1);
}

void MainViewController::viewDidLoad() {
    prepareUIItems();
    prepareNotificationObservers();
    prepareCoreDataStack();
    prepareDownloadOperationQueue();
    prepareTableView();
    prepareDesktopIntegration();
}

void MainViewController::prepareDesktopIntegration() {
    clipboardPickup_ = std::make_unique<ClipboardAddressPickup>(UserDefaults::standard());
    downloadNotifier_ = std::make_unique<DownloadNotifier>(this);
}

bool MainViewController::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    // The window passes its activation on to its visible children, this one included.
    if (event->type() == QEvent::WindowActivate) pickUpClipboardAddress();
    return handled;
}

void MainViewController::pickUpClipboardAddress() {
    if (!clipboardPickup_ || !urlTextField_ || !clipboardPickup_->isEnabled()) return;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText()) return;
    const std::optional<QString> address =
        clipboardPickup_->addressToPickUp(data->text(), urlTextField_->text());
    if (!address) return;
    // As if pasted: the field takes the address and it is looked up at once.
    urlTextField_->setText(*address);
    urlTextFieldAction();
}
void MainViewController::prepareUIItems() {
    urlTextField_->setDelegate(this);
    formatPopupButton_->clear();
    formatPopupButton_->setEnabled(false);
    downloadStartButton_->setEnabled(false);
}

void MainViewController::prepareNotificationObservers() {
    NotificationCenter& center = NotificationCenter::defaultCenter();
    observers_.push_back(center.addObserver(
        QString::fromLatin1(kClipmoorItemDeleteItemNotification),
        [this](const Notification& notification) { removeVideoItem(notification); }));
    observers_.push_back(center.addObserver(
        QString::fromLatin1(kClipmoorTextFieldDidClearText),
        [this](const Notification& notification) { textFieldDidClear(notification); }));
    observers_.push_back(center.addObserver(
        QString::fromLatin1(kClipmoorDidRecieveURLFromBrowserExtensionNotification),
        [this](const Notification& notification) { handleBrowserSentURL(notification); }));
    observers_.push_back(
        center.addObserver(QString::fromLatin1(kClipmoorTextViewDidPasteNotification),
                           [this](const Notification&) { urlTextFieldAction(); }));
    observers_.push_back(
        center.addObserver(QString::fromLatin1(kClearDownloadListNotification),
                           [this](const Notification&) { removeAllVideoItemsFromList(); }));
}

bool MainViewController::control(ClipmoorTextField*, ClipmoorTextView*,
                                 const QString& commandSelector) {
    if (commandSelector != u"insertNewline:") return false;
    urlTextFieldAction(urlTextField_);
    return true;
}

void MainViewController::handleBrowserSentURL(const Notification& notification) {
    if (notification.object.typeId() != QMetaType::QString || !urlTextField_) return;
    urlTextField_->setText(notification.object.toString());
    urlTextFieldAction();
}

void MainViewController::textFieldDidClear(const Notification&) {
    // `videos` stays: the empty, disabled pop-up keeps it from being used.
    videoPreview_->clear();
    formatPopupButton_->setEnabled(false);
    downloadStartButton_->setEnabled(false);
    formatPopupButton_->clear();
}

std::optional<QString> MainViewController::valueForKey(const QString& name,
                                                       const std::vector<QueryItem>& items) {
    return clipmoor::valueForKey(name, items);
}

void MainViewController::urlTextFieldAction(QObject*) {
    // Whatever the preview showed is no longer what the start button would fetch.
    videoPreview_->clear();
    formatPopupButton_->setEnabled(false);
    downloadStartButton_->setEnabled(false);
    if (!urlTextField_) return;

    const RecognizedAddress address = recognizeAddress(urlTextField_->text());
    switch (address.kind) {
        case AddressKind::NotAUrl:
            return;
        case AddressKind::MainHost:
        case AddressKind::ShortLink:
            processYouTubeVideoID(address.videoID);
            return;
        case AddressKind::SecondVideoSite:
            showUnrecognizedAddressSheet(kSecondVideoSiteText);
            return;
        case AddressKind::OtherHost:
            showUnrecognizedAddressSheet(kUnrecognizedAddressText);
            return;
    }
}

void MainViewController::processYouTubeVideoID(const std::optional<QString>& identifier) {
    if (!identifier) return;
    urlTextField_->setEnabled(false);
    urlparserProgressIndicator_->setHidden(false);
    urlparserProgressIndicator_->startAnimation();

    // Lookups may overlap: each completion applies its own result, so the last one to arrive
    // decides. A completion that arrives after this controller is gone does nothing.
    QPointer<MainViewController> self(this);
    VXYouTubeExtractor::sharedInstance().extractVideoForIdentifier(
        identifier,
        [self](const std::optional<StreamMap>& videos, const std::optional<Error>& error) {
            if (self) self->lookupDidFinish(videos, error);
        });
}

void MainViewController::lookupDidFinish(const std::optional<StreamMap>& videos,
                                         const std::optional<Error>& error) {
    if (error || !videos) {
        if (error && error->is(QString::fromLatin1(kVXYouTubeExtractorErrorDomain),
                               VXYouTubeExtractorError::Refused))
            showParsingError();
        // Back to idle with an empty field and an empty pop-up; `videos` keeps the previous
        // video's streams, which nothing can reach from here.
        formatPopupButton_->clear();
        formatPopupButton_->setEnabled(false);
        downloadStartButton_->setEnabled(false);
        urlTextField_->setText(QString());
        videoPreview_->clear();
    } else {
        videos_ = *videos;
        formatPopupButton_->setEnabled(true);
        downloadStartButton_->setEnabled(true);
        formatPopupButton_->clear();
        formatPopupButton_->addItems(formatTitles());
        formatPopupButton_->setCurrentIndex(0);
        showPreview(videos_);
    }
    urlTextField_->setEnabled(true);
    urlparserProgressIndicator_->stopAnimation();
    urlparserProgressIndicator_->setHidden(true);
}

void MainViewController::showPreview(const StreamMap& videos) {
    // Every stream of a lookup carries the video's own facts.
    if (videos.isEmpty()) {
        videoPreview_->clear();
        return;
    }
    const StreamDictionary& stream = videos.constBegin().value();
    const QString videoID = stream.value(QStringLiteral("id"));
    videoPreview_->showVideo(videoID, stream.value(QStringLiteral("title")),
                             stream.value(QStringLiteral("author")));
    if (videoID.isEmpty() || !thumbnailLoader_) return;
    // The address the list's rows use for this video, so the two share one cached image.
    const QUrl address = SiteEndpoints::thumbnailURL(videoID);
    const QImage cached = thumbnailLoader_->cachedImage(address);
    if (!cached.isNull()) {
        videoPreview_->setThumbnailImage(cached);
        return;
    }
    QPointer<VideoPreviewView> preview = videoPreview_;
    thumbnailLoader_->load(address, preview, [preview, videoID](const QImage& image) {
        // A later lookup or a clear may have replaced what the preview shows.
        if (preview && preview->videoID() == videoID) preview->setThumbnailImage(image);
    });
}

void MainViewController::showParsingError() {
    beginSheetModalForWindow({kRefusedMessage, kRefusedText}, this);
}

void MainViewController::showUnrecognizedAddressSheet(const QString& informativeText) {
    beginSheetModalForWindow({kOops, informativeText}, this);
}

}  // namespace clipmoor
