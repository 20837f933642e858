#pragma once

// The base of every dialog class: one handler per message, the request
// engine's posted messages routed to their own handlers, and the host
// window kept only while it exists.

#include <cstdint>

#include "platform/dialog_host.h"
#include "platform/dialog_template.h"

namespace kx {

class Dialog : public DialogHandler {
public:
    explicit Dialog(const DialogTemplate& dialog_template) : template_(dialog_template) {}

    // Runs this dialog modally over `owner` and returns its end code.
    int RunModal(WindowSystem& windows, WindowId owner);

    const DialogTemplate& Template() const { return template_; }

    // DialogHandler: keeps the host and routes to the handlers below.
    void OnInitDialog(DialogHost& host) final;
    void OnCommand(int id, int notification) override;
    void OnTimer(unsigned id) override;
    void OnPosted(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) final;
    void OnDestroy() final;

protected:
    virtual void OnInit() = 0;
    virtual void OnInetStatus(std::uint32_t status);
    virtual void OnInetDone();
    virtual void OnInetData(std::uint32_t bytes, std::uint32_t content_length);
    virtual void OnClose();

    // Valid from OnInit until OnClose returns.
    DialogHost& host() { return *host_; }
    bool HasHost() const { return host_ != nullptr; }

private:
    const DialogTemplate& template_;
    DialogHost* host_ = nullptr;
};

}  // namespace kx
