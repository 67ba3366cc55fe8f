#pragma once
// How every command of the core ends: done, cancelled by the user, or failed with the
// message the user is to see. One type for the open, the zoom reload, the edits and the save.

#include <string>
#include <utility>

namespace torvane {

struct Outcome {
    enum class Status { Done, Cancelled, Failed };

    Status status = Status::Done;
    std::string message;  // what to show the user when status is Failed

    static Outcome done() { return {}; }
    static Outcome cancelled() { return {Status::Cancelled, {}}; }
    static Outcome failed(std::string message) { return {Status::Failed, std::move(message)}; }

    bool ok() const { return status == Status::Done; }
    bool wasCancelled() const { return status == Status::Cancelled; }
    bool failedWithMessage() const { return status == Status::Failed; }
};

}  // namespace torvane
