// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/helper/helper_launcher.h"
#include "picture/helper/start_backoff.h"
#include "protocol/decoder_protocol.h"
#include "protocol/unique_descriptor.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace kavelora::picture {

// The decoder helper's life: its start, paused after failed ones, its end noticed while it
// is idle, its replacement, and its planned retirement after a share of requests. What is
// said to it during a request is the exchange's business (DecoderClient). Never waits for a
// process to end.
class HelperSupervisor
{
public:
    // A fresh helper now and then leaves nothing a decoder may have leaked or corrupted.
    static constexpr int kRequestsPerHelper = 1000;
    // How long a playing animation may hold off its helper's replacement, for a loop that
    // never ends.
    static constexpr int kRequestsPerHelperAtMost = 4 * kRequestsPerHelper;

    explicit HelperSupervisor(std::unique_ptr<HelperLauncher> launcher);
    ~HelperSupervisor();
    HelperSupervisor(const HelperSupervisor&) = delete;
    HelperSupervisor& operator=(const HelperSupervisor&) = delete;

    // Starts a helper unless one runs or starts are paused after failures; once there is an
    // application object, a helper that ends while idle is replaced, at once or when the
    // pause is over.
    void start();
    // True while a helper starts: the GUI thread's timers run meanwhile, and a request from
    // one of them must not cut into the start.
    bool isStarting() const { return m_starting; }
    // The running helper's socket; -1 when none runs.
    int socket() const { return m_socket.isValid() ? m_socket.get() : -1; }
    // Whether the running helper has said it is locked and ready.
    bool isReady() const { return m_ready; }
    // It said so during a request.
    void markReady() { m_ready = true; }
    // While a request is under way its messages go to onMessage, which reads them; the idle
    // watch then reads nothing. onMessage is empty again once the request has ended.
    void passMessagesTo(std::function<void()> onMessage) { m_conversation = std::move(onMessage); }

    // It served a request (retiring: it asked to go); betweenLoops: no animation is in the
    // middle of a loop. Retires it when its share of requests is used up.
    void served(bool retiring, bool betweenLoops);
    // Ends it at once and starts another from the event loop: it timed out or broke the
    // conversation.
    void replaceLater();
    // Ends it and starts another at once: it ended while idle, before that was noticed.
    void replaceNow();
    // Ends it, which never became able to serve (lastWord: what it said about why), and
    // pauses starts.
    void failedToStart(const std::optional<protocol::Reply>& lastWord);

private:
    void stop();
    void noteStartFailure(const QString& reason);
    QString endReason(std::optional<protocol::Reply> lastWord);
    void watchForExit();
    void onIdleMessage();
    void startLater();

    std::unique_ptr<HelperLauncher> m_launcher;
    HelperProcess m_helper;
    protocol::UniqueDescriptor m_socket;
    bool m_ready = false;
    bool m_starting = false;
    StartBackoff m_backoff;
    // Owned by the application object, which may go first.
    QPointer<QSocketNotifier> m_exitWatch;
    QPointer<QTimer> m_restart;
    std::function<void()> m_conversation;
    int m_requestsServed = 0;
    bool m_retirementDue = false;
};

} // namespace kavelora::picture
