#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

#include "platform/error.h"
#include "platform/http/url_response.h"

namespace clipmoor {

enum class StopReason { Cancel, ProduceResumeData };

struct TransferRequest {
    QUrl url;
    QList<QByteArray> headers;  // extra request header lines, "Name: value"
    int timeoutSeconds = 60;    // longest silence
    int maximumRedirects = 10;
    bool acceptCompressedData = false;
    int totalTimeoutSeconds = 0;  // longest run from the first start; 0 for no limit
};

// One HTTP GET as the transfer engine drives it. Subclasses receive the answer on the
// engine thread and must never block there or call into code outside the transfer layer.
class Transfer : public std::enable_shared_from_this<Transfer> {
public:
    enum class Outcome { Finished, Restart };

    virtual ~Transfer() = default;
    const TransferRequest& request() const { return request_; }

protected:
    explicit Transfer(TransferRequest request) : request_(std::move(request)) {}

    // Called on the engine thread before each (re)start; an error ends the transfer at once
    // through onEnded without sending anything.
    virtual std::optional<Error> prepare() { return std::nullopt; }
    // The final answer's status and headers (redirects are followed first). Return false to
    // end the transfer; park() the reason first.
    virtual bool onResponse(const UrlResponse& response) = 0;
    // A piece of the body. Return false to end the transfer; park() the reason first.
    virtual bool onBody(const char* data, size_t size) = 0;
    // The transfer has ended: `error` is the parked error, the transport's, or none. Returning
    // Restart sends request() again (the subclass may have changed it).
    virtual Outcome onEnded(const std::optional<Error>& error) = 0;
    // A stop requested through the engine; `wasRunning` is false when the transfer had
    // already ended or never started.
    virtual void onStopped(StopReason reason, bool wasRunning) = 0;

    // Records why the transfer is being ended by a callback; takes precedence over the
    // transport's own error.
    void park(const Error& error) { parked_ = error; }
    TransferRequest& mutableRequest() { return request_; }

private:
    friend class TransferEngine;
    friend struct TransferCallbacks;

    TransferRequest request_;
    std::optional<Error> parked_;
    // Header bookkeeping of the answer being received.
    UrlResponse pending_;
    bool responseDelivered_ = false;
    void* easy_ = nullptr;  // the libcurl handle while the engine runs the transfer
    bool stopped_ = false;  // a stop has been handled; a later start is ignored
    // When the server last sent anything: a transfer silent for the time-out fails.
    std::chrono::steady_clock::time_point lastActivity_{};
    // When the engine first started the transfer; restarts do not reset it.
    std::optional<std::chrono::steady_clock::time_point> firstStart_;
};

}  // namespace clipmoor
