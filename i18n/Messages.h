#pragma once
// The message catalogue: every message a user can read, by id, with its English text and the
// key under which a language file's "Messages" section replaces it. A key the language file
// lacks (or leaves empty) keeps the English text: a message is never blank.
//
// Texts take arguments as %1, %2, ... In a language file, "\n" in a value breaks the line.

#include <string>
#include <string_view>
#include <vector>

#include "platform/MessageId.h"
#include "platform/Outcome.h"

namespace torvane {

class LanguageFile;

struct MessageEntry {
    MessageId id;
    std::string_view key;      // in the "Messages" section
    std::string_view english;
    // The box it is shown in: its caption (None: the program's own) and whether it has no
    // owner window (the encoders' own boxes).
    MessageId caption = MessageId::None;
    bool ownerless = false;
    // torvane-cli's texts: English only, language files need not carry them.
    bool cliOnly = false;
};

// Every entry, in the order of MessageId (entry i has id i + 1).
const std::vector<MessageEntry>& messageCatalogue();
const MessageEntry& messageEntry(MessageId id);

// The text of `id` with its arguments put in: from `language` when it carries the key, else
// English.
std::string messageText(MessageId id, const std::vector<std::string>& args = {},
                        const LanguageFile* language = nullptr);
inline std::string messageText(const Outcome& outcome, const LanguageFile* language = nullptr) {
    return messageText(outcome.message, outcome.args, language);
}

// %1, %2, ... in `text` replaced by args (an argument missing gives nothing).
std::string substituteArgs(std::string_view text, const std::vector<std::string>& args);

}  // namespace torvane
