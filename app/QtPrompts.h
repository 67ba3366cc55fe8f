#pragma once
// Prompts shown with the toolkit's message boxes and file dialogs.

#include <QString>

#include "platform/Prompts.h"

class QWidget;

namespace torvane {

class QtPrompts final : public Prompts {
public:
    // owner: the window the boxes and dialogs belong to (may be null).
    explicit QtPrompts(QWidget* owner = nullptr) : m_owner(owner) {}
    int messageBox(const MessageRequest& request) override;
    std::optional<FileDialogResult> fileDialog(const FileDialogRequest& request) override;
    void openExternal(const std::string& target) override;

private:
    QWidget* m_owner;
};

// "Desc|*.a;*.b|Desc2|*.c" as the toolkit's "Desc (*.a *.b);;Desc2 (*.c)"; the file dialog
// shows only the "Desc" part.
QString qtFilterFromWindows(const std::string& filter);

}  // namespace torvane
