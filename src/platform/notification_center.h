#pragma once

#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <vector>

namespace clipmoor {

struct Notification {
    QString name;
    QVariant object;  // what the poster sends along: a string, a QObject*, a record identity...
    QVariantMap userInfo;
};

class NotificationCenter;

// Keeps one observer registration alive; destroying the token removes it, so an observer
// never outlives the object that holds its token.
class [[nodiscard]] ObserverToken {
public:
    ObserverToken() = default;
    ObserverToken(ObserverToken&& other) noexcept;
    ObserverToken& operator=(ObserverToken&& other) noexcept;
    ObserverToken(const ObserverToken&) = delete;
    ObserverToken& operator=(const ObserverToken&) = delete;
    ~ObserverToken();

    void reset();
    bool isActive() const { return id_ != 0; }

private:
    friend class NotificationCenter;
    ObserverToken(NotificationCenter* center, quint64 id) : center_(center), id_(id) {}
    NotificationCenter* center_ = nullptr;
    quint64 id_ = 0;
};

// The process-wide notification centre: named notifications, posted and delivered
// synchronously on the main thread.
class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    // Observes `name` (every name when empty). With a `sender`, only notifications whose
    // object is that QObject are delivered.
    ObserverToken addObserver(const QString& name, Handler handler,
                              const QObject* sender = nullptr);

    void post(const Notification& notification);
    void post(const QString& name, const QVariant& object = {}, const QVariantMap& userInfo = {});

    std::size_t observerCount() const { return observers_.size(); }

private:
    friend class ObserverToken;
    struct Observer {
        quint64 id;
        QString name;
        bool filtersSender;
        QPointer<const QObject> sender;
        std::shared_ptr<Handler> handler;
    };
    void remove(quint64 id);

    std::vector<Observer> observers_;
    quint64 nextId_ = 1;
};

}  // namespace clipmoor
