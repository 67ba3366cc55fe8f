#pragma once
// Every question and message the editor puts to the user, and the two file dialogs, go
// through this one interface. The window layer supplies a toolkit implementation; tests
// use ScriptedPrompts, which answers from a script and records the exact texts shown.

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace torvane {

enum class PromptButtons { Ok, YesNo, YesNoCancel };
enum class PromptIcon { None, Information, Question, Warning, Error };

// Results as the message box functions number them.
enum PromptResult : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

struct MessageRequest {
    std::string text;     // UTF-8; "\n" breaks the line
    std::string caption;  // empty: the platform's default caption
    PromptButtons buttons = PromptButtons::Ok;
    PromptIcon icon = PromptIcon::None;
    // A system box with no owner window: with an empty caption it shows the system's own
    // ("Error"), not the program's.
    bool ownerless = false;
};

struct FileDialogRequest {
    bool save = false;
    // Windows filter text: "Description|patterns|Description|patterns...".
    std::string filter;
    int filterIndex = 1;   // 1-based, as the dialogs number it
    std::string fileName;  // initial name or path, may be empty
    std::string folder;    // the folder shown first when fileName names none; empty: the toolkit's choice
    std::string title;     // empty: the platform's default
};

struct FileDialogResult {
    std::string path;  // UTF-8 full path
    int filterIndex = 1;
};

class Prompts {
public:
    virtual ~Prompts() = default;
    virtual int messageBox(const MessageRequest& request) = 0;
    // nullopt when the user cancelled the dialog.
    virtual std::optional<FileDialogResult> fileDialog(const FileDialogRequest& request) = 0;
    // Opens a web address or a file with the desktop's default handler; false when the
    // desktop could not hand it to any program (no browser installed, for one).
    virtual bool openExternal(const std::string& target) = 0;

    // Shorthand for the plain box with one OK button.
    int message(const std::string& text, const std::string& caption = std::string(),
                PromptIcon icon = PromptIcon::None) {
        return messageBox({text, caption, PromptButtons::Ok, icon});
    }
};

// Answers from queues filled by the test and records every request in order.
// With an empty queue a message box answers its cancelling button (OK for a box with
// one button, No for Yes/No, Cancel for Yes/No/Cancel) and a file dialog is cancelled.
class ScriptedPrompts final : public Prompts {
public:
    int messageBox(const MessageRequest& request) override;
    std::optional<FileDialogResult> fileDialog(const FileDialogRequest& request) override;
    bool openExternal(const std::string& target) override {
        m_opened.push_back(target);
        return m_canOpen;
    }
    // Whether openExternal succeeds from now on (it does by default).
    void setCanOpen(bool canOpen) { m_canOpen = canOpen; }

    void answerMessage(int result) { m_messageAnswers.push_back(result); }
    void answerFile(std::optional<FileDialogResult> result) { m_fileAnswers.push_back(std::move(result)); }
    void answerFile(const std::string& path, int filterIndex = 1) {
        m_fileAnswers.push_back(FileDialogResult{path, filterIndex});
    }

    const std::vector<MessageRequest>& messages() const { return m_messages; }
    const std::vector<FileDialogRequest>& fileDialogs() const { return m_fileDialogs; }
    // Every target handed to openExternal, in order.
    const std::vector<std::string>& opened() const { return m_opened; }
    // The texts of all message boxes shown so far, in order.
    std::vector<std::string> messageTexts() const;
    std::size_t pendingAnswers() const { return m_messageAnswers.size() + m_fileAnswers.size(); }
    void clear();

private:
    std::deque<int> m_messageAnswers;
    std::deque<std::optional<FileDialogResult>> m_fileAnswers;
    std::vector<MessageRequest> m_messages;
    std::vector<FileDialogRequest> m_fileDialogs;
    std::vector<std::string> m_opened;
    bool m_canOpen = true;
};

}  // namespace torvane
