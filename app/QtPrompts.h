#pragma once
// Prompts shown with the toolkit's message boxes and file dialogs.

#include <QString>
#include <functional>
#include <string>

#include "platform/MessageId.h"
#include "platform/Prompts.h"

class QWidget;

namespace torvane {

class QtPrompts final : public Prompts {
public:
    // owner: the window the boxes and dialogs belong to (may be null).
    explicit QtPrompts(QWidget* owner = nullptr) : m_owner(owner) {}
    int messageBox(const MessageRequest& request) override;
    std::optional<FileDialogResult> fileDialog(const FileDialogRequest& request) override;
    bool openExternal(const std::string& target) override;
    // Where the default captions' texts come from (the window's language); English without.
    void setTexts(std::function<std::string(MessageId)> text) { m_text = std::move(text); }

private:
    QWidget* m_owner;
    std::function<std::string(MessageId)> m_text;
};

// "Desc|*.a;*.b|Desc2|*.c" as the toolkit's "Desc (*.a *.b);;Desc2 (*.c)"; the file dialog
// shows only the "Desc" part.
QString qtFilterFromWindows(const std::string& filter);

}  // namespace torvane
