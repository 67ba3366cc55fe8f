#pragma once
// How every command of the core ends: done, cancelled by the user, failed with the message the
// user is to see (an id of the message catalogue and the strings put into its text), or shown:
// the user has been told already and nothing more is to be said. One type for the open, the
// zoom reload, the edits, the save, its target and the encoders.

#include <string>
#include <utility>
#include <vector>

#include "platform/MessageId.h"

namespace torvane {

struct Outcome {
    enum class Status { Done, Cancelled, Failed, Shown };

    Status status = Status::Done;
    MessageId message = MessageId::None;  // what to show the user when status is Failed
    std::vector<std::string> args;        // put into the text for %1, %2, ...
    // The system's error number at the failure point, 0 when the system gave none. The window
    // shows the message alone; torvane-cli adds the system's reason.
    int systemError = 0;
    // A save whose encoder could not even start: nothing was written, and the editor keeps its
    // save dialog up until the user dismisses it.
    bool encoderNotStarted = false;

    static Outcome done() { return {}; }
    static Outcome cancelled() { return withStatus(Status::Cancelled); }
    static Outcome shown() { return withStatus(Status::Shown); }
    template <typename... Args>
    static Outcome failed(MessageId id, Args&&... a) {
        Outcome r = withStatus(Status::Failed);
        r.message = id;
        (r.args.emplace_back(std::forward<Args>(a)), ...);
        return r;
    }
    // The same outcome with the system's error number (errno) where it failed.
    Outcome because(int error) && {
        systemError = error;
        return std::move(*this);
    }
    Outcome encoderDidNotStart() && {
        encoderNotStarted = true;
        return std::move(*this);
    }

    bool ok() const { return status == Status::Done; }
    bool wasCancelled() const { return status == Status::Cancelled; }
    bool wasShown() const { return status == Status::Shown; }
    // Failed with a message still to show.
    bool failedWithMessage() const { return status == Status::Failed; }

private:
    static Outcome withStatus(Status s) {
        Outcome r;
        r.status = s;
        return r;
    }
};

}  // namespace torvane
