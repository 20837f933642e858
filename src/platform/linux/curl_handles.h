#pragma once

// Linux backend: owners of the libcurl and C library handles of a transfer
// (see base/unique_any.h: closed once, never retried).
//
// Implements:
//  - one alias each for easy and multi handles, header lists and files;
//  - an easy handle's membership in a multi handle, given up first;
//  - a transfer thread that is joined, or left to run out when it lets go
//    of itself;
//  - libcurl's global set-up, done once.

#include <curl/curl.h>
#include <stdio.h>

#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "base/unique_any.h"

namespace kx {

using CurlEasy = UniqueAny<CURL*, &curl_easy_cleanup>;
using CurlMulti = UniqueAny<CURLM*, &curl_multi_cleanup>;
using CurlSlist = UniqueAny<curl_slist*, &curl_slist_free_all>;
using UniqueFile = UniqueAny<FILE*, &::fclose>;

// Appends a copy of `line`; on failure the list stays as it was.
inline bool AppendToSlist(CurlSlist* list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list->get(), line.c_str());
    if (grown == nullptr) return false;
    // The grown list starts with the old one, which must not be freed twice.
    static_cast<void>(list->release());
    list->reset(grown);
    return true;
}

// An easy handle's place in a multi handle, given up before either is cleaned up.
class MultiMembership {
public:
    MultiMembership() = default;
    MultiMembership(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) {}
    MultiMembership(const MultiMembership&) = delete;
    MultiMembership& operator=(const MultiMembership&) = delete;
    MultiMembership& operator=(MultiMembership&& other) noexcept {
        std::swap(multi_, other.multi_);
        std::swap(easy_, other.easy_);
        return *this;
    }
    ~MultiMembership() {
        if (multi_ != nullptr) curl_multi_remove_handle(multi_, easy_);
    }

private:
    CURLM* multi_ = nullptr;
    CURL* easy_ = nullptr;
};

// A transfer thread, joined when it is let go of; a thread cannot wait for
// itself, so a callback that closes its own request leaves it to run out.
class TransferThread {
public:
    TransferThread() = default;
    explicit TransferThread(std::function<void()> body) : thread_(std::move(body)) {}
    TransferThread(TransferThread&& other) noexcept = default;
    TransferThread& operator=(TransferThread&& other) noexcept {
        Finish();
        thread_ = std::move(other.thread_);
        return *this;
    }
    ~TransferThread() { Finish(); }

    void Finish() {
        if (!thread_.joinable()) return;
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }

private:
    std::thread thread_;
};

// libcurl's global state is set up once and kept: a transfer left to run out
// by its own callback may still be using it when the process ends.
inline bool CurlReady() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

}  // namespace kx
