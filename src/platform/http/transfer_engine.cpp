#include "platform/http/transfer_engine.h"

#include <cstdlib>

#include <QFile>
#include <QList>
#include <QtDebug>

#include <cstring>

#include "platform/http/curl_error.h"
#include "platform/http/trusted_authorities.h"
#include "platform/http/url_error.h"

namespace clipmoor {

namespace {

constexpr long kBufferSize = 256 * 1024;
constexpr int kPollTimeoutMs = 1000;

bool isSecure(const QUrl& url) {
    return url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

// A redirect that would take a request begun over HTTPS to plain HTTP, where anyone on the
// way could read or change the answer: the address it points at, or none if it is no such one.
std::optional<QUrl> downgradeTarget(const TransferRequest& request, CURL* easy,
                                    const QByteArray& location) {
    if (!isSecure(request.url)) return std::nullopt;
    char* effectiveUrl = nullptr;
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effectiveUrl);
    const QUrl base = QUrl::fromEncoded(effectiveUrl ? effectiveUrl : "");
    const QUrl target = base.resolved(QUrl(QString::fromLatin1(location)));
    if (target.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return target;
}

}  // namespace

// What the engine keeps for each running transfer.
struct EasyHandle {
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    std::shared_ptr<Transfer> transfer;

    ~EasyHandle() {
        if (easy) curl_easy_cleanup(easy);
        if (headers) curl_slist_free_all(headers);
    }
};

// libcurl's C callbacks, which forward to the transfer.
struct TransferCallbacks {
    static size_t header(char* buffer, size_t size, size_t count, void* userData) {
        auto* transfer = static_cast<Transfer*>(userData);
        const size_t length = size * count;
        transfer->lastActivity_ = std::chrono::steady_clock::now();
        if (transfer->responseDelivered_) return length;  // trailers after the final answer

        const QByteArray line = QByteArray(buffer, static_cast<qsizetype>(length)).trimmed();
        UrlResponse& pending = transfer->pending_;
        if (line.startsWith("HTTP/")) {
            pending = UrlResponse{};
            const QList<QByteArray> parts = line.split(' ');
            pending.statusCode = parts.size() > 1 ? parts[1].toInt() : 0;
            return length;
        }
        if (!line.isEmpty()) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                pending.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
            return length;
        }
        // The blank line ends one answer's headers. Informational answers and redirects that
        // libcurl will follow are not the final answer.
        const int status = pending.statusCode;
        if (status >= 100 && status < 200) return length;
        if (status >= 300 && status < 400 && !pending.headerValue("Location").isEmpty()) {
            long redirects = 0;
            curl_easy_getinfo(static_cast<CURL*>(transfer->easy_), CURLINFO_REDIRECT_COUNT,
                              &redirects);
            if (redirects < transfer->request_.maximumRedirects) {
                const auto insecure =
                    downgradeTarget(transfer->request_, static_cast<CURL*>(transfer->easy_),
                                    pending.headerValue("Location"));
                if (!insecure) return length;
                transfer->park(Error(
                    kURLErrorDomain, URLError::RequiresSecureConnection,
                    {{kLocalizedDescriptionKey,
                      QStringLiteral("The secure address redirected to the insecure address %1; "
                                     "the redirect was not followed.")
                          .arg(insecure->toDisplayString())}}));
                return 0;
            }
        }
        return deliverResponse(transfer) ? length : 0;
    }

    static size_t body(char* data, size_t size, size_t count, void* userData) {
        auto* transfer = static_cast<Transfer*>(userData);
        const size_t length = size * count;
        transfer->lastActivity_ = std::chrono::steady_clock::now();
        if (!transfer->responseDelivered_ && !deliverResponse(transfer)) return 0;
        return transfer->onBody(data, length) ? length : 0;
    }

    // Called by libcurl at least once a second while the transfer runs.
    static int progress(void* userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto* transfer = static_cast<Transfer*>(userData);
        const auto silence = std::chrono::steady_clock::now() - transfer->lastActivity_;
        if (silence < std::chrono::seconds(transfer->request_.timeoutSeconds)) return 0;
        transfer->park(Error(
            kURLErrorDomain, URLError::TimedOut,
            {{kLocalizedDescriptionKey, QStringLiteral("The server sent nothing for %1 seconds.")
                                            .arg(transfer->request_.timeoutSeconds)}}));
        return 1;
    }

    static bool deliverResponse(Transfer* transfer) {
        UrlResponse& response = transfer->pending_;
        auto* easy = static_cast<CURL*>(transfer->easy_);
        char* effectiveUrl = nullptr;
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effectiveUrl);
        response.url = QUrl::fromEncoded(effectiveUrl ? effectiveUrl : "");
        if (response.statusCode == 0) {
            long code = 0;
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
            response.statusCode = static_cast<int>(code);
        }
        bool ok = false;
        const qint64 length = response.headerValue("Content-Length").toLongLong(&ok);
        response.expectedContentLength = ok && length >= 0 ? length : -1;
        // A compressed body's length says nothing about what the caller will receive.
        if (!response.headerValue("Content-Encoding").isEmpty() &&
            response.headerValue("Content-Encoding").toLower() != "identity")
            response.expectedContentLength = -1;
        transfer->responseDelivered_ = true;
        return transfer->onResponse(response);
    }
};

TransferEngine& TransferEngine::shared() {
    // Created once and kept for the life of the process: transfers may still be running on
    // it while static objects are destroyed at exit.
    static TransferEngine* engine = new TransferEngine();
    return *engine;
}

TransferEngine::TransferEngine() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    multi_ = curl_multi_init();
    curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, 0L);

    const QByteArray connectTo = qgetenv("CLIPMOOR_CONNECT_TO");
    for (const QByteArray& entry : connectTo.split(',')) {
        if (!entry.trimmed().isEmpty())
            connectTo_ = curl_slist_append(connectTo_, entry.trimmed().constData());
    }

    thread_ = std::thread([this] { run(); });
    threadId_ = thread_.get_id();
    // Handlers run in the reverse order of registration, so this one runs before the clean-up
    // that curl_global_init registered above.
    std::atexit(&TransferEngine::stopAtExit);
}

void TransferEngine::stopAtExit() {
    TransferEngine& engine = shared();
    if (engine.isEngineThread() || !engine.thread_.joinable()) return;
    engine.exiting_ = true;
    curl_multi_wakeup(engine.multi_);
    engine.thread_.join();
}

TransferEngine::~TransferEngine() = default;  // never runs: the engine lives until exit

void TransferEngine::start(std::shared_ptr<Transfer> transfer) {
    {
        std::lock_guard lock(mutex_);
        commands_.push_back({Command::Kind::Start, std::move(transfer)});
    }
    curl_multi_wakeup(multi_);
}

void TransferEngine::stop(std::shared_ptr<Transfer> transfer, StopReason reason) {
    {
        std::lock_guard lock(mutex_);
        commands_.push_back({Command::Kind::Stop, std::move(transfer), reason});
    }
    curl_multi_wakeup(multi_);
}

bool TransferEngine::isEngineThread() const {
    return std::this_thread::get_id() == threadId_;
}

std::size_t TransferEngine::activeTransferCount() const {
    std::lock_guard lock(mutex_);
    return activeCount_;
}

void TransferEngine::run() {
    // Reading, hashing and perhaps writing the authorities is file work: it happens here, not
    // on the thread (often the main one) that asked for the first transfer.
    const TrustedAuthorities authorities = TrustedAuthorities::fromEnvironment();
    caFile_ = authorities.file.toStdString();
    caBundle_ = authorities.inMemory.toStdString();
    while (!exiting_) {
        processCommands();
        int running = 0;
        curl_multi_perform(multi_, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
            if (message->msg != CURLMSG_DONE) continue;
            // Copy what we need: the message is invalid once its handle is removed.
            CURL* easy = message->easy_handle;
            const CURLcode result = message->data.result;
            finish(easy, result);
            if (exiting_) return;
        }
        curl_multi_poll(multi_, nullptr, 0, kPollTimeoutMs, nullptr);
    }
}

void TransferEngine::processCommands() {
    std::vector<Command> commands;
    {
        std::lock_guard lock(mutex_);
        commands.swap(commands_);
    }
    for (Command& command : commands) {
        if (command.kind == Command::Kind::Start) {
            if (!command.transfer->stopped_) addToMulti(command.transfer);
            continue;
        }
        if (command.transfer->stopped_) continue;
        command.transfer->stopped_ = true;
        const auto found = handles_.find(command.transfer.get());
        const bool wasRunning = found != handles_.end();
        if (wasRunning) {
            CURL* easy = found->second;
            handles_.erase(found);
            curl_multi_remove_handle(multi_, easy);
            active_.erase(easy);
            command.transfer->easy_ = nullptr;
            std::lock_guard lock(mutex_);
            --activeCount_;
        }
        command.transfer->onStopped(command.reason, wasRunning);
    }
}

void TransferEngine::addToMulti(const std::shared_ptr<Transfer>& transfer) {
    transfer->parked_.reset();
    if (std::optional<Error> error = transfer->prepare()) {
        if (transfer->onEnded(error) == Transfer::Outcome::Restart) addToMulti(transfer);
        return;
    }
    auto handle = std::make_unique<EasyHandle>();
    handle->easy = curl_easy_init();
    handle->transfer = transfer;
    transfer->easy_ = handle->easy;
    transfer->lastActivity_ = std::chrono::steady_clock::now();
    if (!transfer->firstStart_) transfer->firstStart_ = transfer->lastActivity_;
    transfer->pending_ = UrlResponse{};
    transfer->responseDelivered_ = false;

    CURL* easy = handle->easy;
    for (const QByteArray& line : transfer->request_.headers)
        handle->headers = curl_slist_append(handle->headers, line.constData());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, handle->errorBuffer);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, handle->headers);
    configure(easy, *transfer);

    CURL* key = easy;
    handles_[transfer.get()] = key;
    active_[key] = std::move(handle);
    {
        std::lock_guard lock(mutex_);
        ++activeCount_;
    }
    curl_multi_add_handle(multi_, key);
}

void TransferEngine::configure(CURL* easy, Transfer& transfer) {
    const TransferRequest& request = transfer.request_;
    const QByteArray url = request.url.toEncoded();
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());  // libcurl copies the string
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    // The header callback refuses a redirect from HTTPS to HTTP with a clear error; libcurl
    // itself refuses it too, should it read a Location differently.
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                     isSecure(request.url) ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(request.maximumRedirects));
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, static_cast<long>(request.timeoutSeconds));
    if (request.totalTimeoutSeconds > 0) {
        // What is left of the limit: a restart does not begin it again.
        using std::chrono::milliseconds;
        const auto elapsed = std::chrono::duration_cast<milliseconds>(
            std::chrono::steady_clock::now() - transfer.firstStart_.value());
        const long remaining = static_cast<long>(
            std::max<qint64>(1, qint64(request.totalTimeoutSeconds) * 1000 - elapsed.count()));
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, remaining);
    }
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &TransferCallbacks::progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kBufferSize);
    curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Clipmoor/" CLIPMOOR_VERSION);
    if (request.acceptCompressedData) curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    if (connectTo_) curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo_);
    if (!caFile_.empty()) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, caFile_.c_str());
    } else if (!caBundle_.empty()) {
        curl_blob blob{const_cast<char*>(caBundle_.data()), caBundle_.size(), CURL_BLOB_NOCOPY};
        curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
    }
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &TransferCallbacks::header);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &TransferCallbacks::body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
}

void TransferEngine::finish(CURL* easy, CURLcode result) {
    const auto found = active_.find(easy);
    if (found == active_.end()) return;
    std::unique_ptr<EasyHandle> handle = std::move(found->second);
    active_.erase(found);
    std::shared_ptr<Transfer> transfer = handle->transfer;
    handles_.erase(transfer.get());
    curl_multi_remove_handle(multi_, easy);
    {
        std::lock_guard lock(mutex_);
        --activeCount_;
    }

    std::optional<Error> error = transfer->parked_;
    if (!error && result != CURLE_OK) error = errorFromCurlCode(result, handle->errorBuffer);
    if (!error && !transfer->responseDelivered_) {
        // An answer without headers or body still ends with a status for the caller.
        if (!TransferCallbacks::deliverResponse(transfer.get())) error = transfer->parked_;
    }
    handle.reset();
    transfer->easy_ = nullptr;

    if (transfer->onEnded(error) == Transfer::Outcome::Restart) addToMulti(transfer);
}

}  // namespace clipmoor
