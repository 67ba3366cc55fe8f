#pragma once
// Prompts that a worker thread may use: each call is served by the user-interface thread
// (which is in a progress dialog's loop meanwhile) and the worker waits for the answer.
// Called on the user-interface thread it is a plain call.

#include <QObject>
#include <QThread>
#include <type_traits>

#include "platform/Prompts.h"

namespace torvane {

class UiThreadPrompts final : public Prompts {
public:
    // `target` is read at each call: the window may change its prompts (tests do).
    UiThreadPrompts(QObject& uiObject, Prompts* const& target) : m_ui(uiObject), m_target(target) {}

    int messageBox(const MessageRequest& request) override {
        return onUi([&] { return m_target->messageBox(request); });
    }
    std::optional<FileDialogResult> fileDialog(const FileDialogRequest& request) override {
        return onUi([&] { return m_target->fileDialog(request); });
    }
    bool openExternal(const std::string& target) override {
        return onUi([&] { return m_target->openExternal(target); });
    }

private:
    template <class F>
    std::invoke_result_t<F> onUi(F f) {
        if (QThread::currentThread() == m_ui.thread()) return f();
        std::invoke_result_t<F> result{};
        QMetaObject::invokeMethod(&m_ui, [&] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }

    QObject& m_ui;
    Prompts* const& m_target;
};

}  // namespace torvane
