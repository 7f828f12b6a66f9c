#pragma once

#include <curl/curl.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/http/transfer.h"

namespace clipmoor {

struct EasyHandle;

// The one thread that drives libcurl for every transfer of the process. Other threads hand it
// transfers to start or stop; it never runs code outside the transfer layer.
//
// Environment (read once, when the engine starts):
//   CLIPMOOR_CONNECT_TO  comma-separated HOST:PORT:CONNECT_HOST:CONNECT_PORT entries
//   CLIPMOOR_CA_BUNDLE   a PEM file of extra certificate authorities to trust
class TransferEngine {
public:
    static TransferEngine& shared();

    void start(std::shared_ptr<Transfer> transfer);
    void stop(std::shared_ptr<Transfer> transfer, StopReason reason);

    bool isEngineThread() const;
    // Number of transfers the engine is running (for tests and diagnostics).
    std::size_t activeTransferCount() const;

private:
    TransferEngine();
    ~TransferEngine();
    // Registered with atexit once libcurl (and so the TLS library, whose own clean-up runs
    // at exit) is initialised: ends the engine thread before that clean-up can pull the
    // library out from under a running transfer. Transfers are abandoned, not reported.
    static void stopAtExit();
    void run();
    void processCommands();
    void addToMulti(const std::shared_ptr<Transfer>& transfer);
    void configure(CURL* easy, Transfer& transfer);
    void finish(CURL* easy, CURLcode result);

    struct Command {
        enum class Kind { Start, Stop } kind;
        std::shared_ptr<Transfer> transfer;
        StopReason reason = StopReason::Cancel;
    };

    CURLM* multi_ = nullptr;
    curl_slist* connectTo_ = nullptr;

    mutable std::mutex mutex_;
    std::vector<Command> commands_;
    std::size_t activeCount_ = 0;

    // Engine thread only.
    std::string caFile_;    // system authorities plus CLIPMOOR_CA_BUNDLE, when that is set
    std::string caBundle_;  // the same in memory, when the file could not be written
    std::unordered_map<CURL*, std::unique_ptr<EasyHandle>> active_;
    std::unordered_map<Transfer*, CURL*> handles_;
    std::thread thread_;
    std::thread::id threadId_;
    std::atomic<bool> exiting_{false};
};

}  // namespace clipmoor
