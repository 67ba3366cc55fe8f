#include "platform/Prompts.h"

namespace torvane {

int ScriptedPrompts::messageBox(const MessageRequest& request) {
    m_messages.push_back(request);
    if (!m_messageAnswers.empty()) {
        int r = m_messageAnswers.front();
        m_messageAnswers.pop_front();
        return r;
    }
    switch (request.buttons) {
    case PromptButtons::Ok: return IDOK;
    case PromptButtons::YesNo: return IDNO;
    case PromptButtons::YesNoCancel: return IDCANCEL;
    }
    return IDCANCEL;
}

std::optional<FileDialogResult> ScriptedPrompts::fileDialog(const FileDialogRequest& request) {
    m_fileDialogs.push_back(request);
    if (m_fileAnswers.empty()) return std::nullopt;
    auto r = std::move(m_fileAnswers.front());
    m_fileAnswers.pop_front();
    return r;
}

std::vector<std::string> ScriptedPrompts::messageTexts() const {
    std::vector<std::string> texts;
    for (const auto& m : m_messages) texts.push_back(m.text);
    return texts;
}

void ScriptedPrompts::clear() {
    m_messageAnswers.clear();
    m_fileAnswers.clear();
    m_messages.clear();
    m_fileDialogs.clear();
    m_opened.clear();
}

}  // namespace torvane
