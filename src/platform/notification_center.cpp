#include "platform/notification_center.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>

namespace clipmoor {

namespace {
void assertMainThread() {
    Q_ASSERT_X(!QCoreApplication::instance() ||
                   QThread::currentThread() == QCoreApplication::instance()->thread(),
               "NotificationCenter", "used off the main thread");
}
}  // namespace

ObserverToken::ObserverToken(ObserverToken&& other) noexcept
    : center_(std::exchange(other.center_, nullptr)), id_(std::exchange(other.id_, 0)) {}

ObserverToken& ObserverToken::operator=(ObserverToken&& other) noexcept {
    if (this != &other) {
        reset();
        center_ = std::exchange(other.center_, nullptr);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

ObserverToken::~ObserverToken() {
    reset();
}

void ObserverToken::reset() {
    if (center_ && id_) center_->remove(id_);
    center_ = nullptr;
    id_ = 0;
}

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

ObserverToken NotificationCenter::addObserver(const QString& name, Handler handler,
                                              const QObject* sender) {
    assertMainThread();
    const quint64 id = nextId_++;
    observers_.push_back(Observer{id, name, sender != nullptr, QPointer<const QObject>(sender),
                                  std::make_shared<Handler>(std::move(handler))});
    return ObserverToken(this, id);
}

void NotificationCenter::remove(quint64 id) {
    observers_.erase(std::remove_if(observers_.begin(), observers_.end(),
                                    [id](const Observer& o) { return o.id == id; }),
                     observers_.end());
}

void NotificationCenter::post(const QString& name, const QVariant& object,
                              const QVariantMap& userInfo) {
    post(Notification{name, object, userInfo});
}

void NotificationCenter::post(const Notification& notification) {
    assertMainThread();
    const QObject* postedSender = notification.object.value<QObject*>();

    // Observers may add or remove observers while they run: deliver to a snapshot, and skip
    // any observer that was removed by an earlier handler of this same post.
    std::vector<std::pair<quint64, std::shared_ptr<Handler>>> targets;
    for (const Observer& observer : observers_) {
        if (!observer.name.isEmpty() && observer.name != notification.name) continue;
        if (observer.filtersSender && (!observer.sender || observer.sender != postedSender))
            continue;
        targets.emplace_back(observer.id, observer.handler);
    }
    for (const auto& [id, handler] : targets) {
        const bool stillRegistered =
            std::any_of(observers_.begin(), observers_.end(),
                        [id = id](const Observer& o) { return o.id == id; });
        if (stillRegistered) (*handler)(notification);
    }
}

}  // namespace clipmoor
