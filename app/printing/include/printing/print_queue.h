// The default print queue as the print server sees it now, and handing a
// file to it. Plain C++ over the print server's client library; every call
// asks the server again, so a queue added, removed or stopped since start-up
// is seen. Any thread.
#pragma once

#include <string>

namespace printing {

enum class QueueState {
    Ready,        // exists and accepts jobs
    Missing,      // no default queue, or the default names no queue
    Rejecting,    // exists but does not accept jobs
    Unreachable,  // the print server does not answer
};

struct QueueLookup {
    QueueState state = QueueState::Missing;
    std::string name;    // the queue, when there is one
    std::string detail;  // the server's words for a failure
};

QueueLookup LookUpDefaultQueue();

struct Submission {
    int jobId = 0;       // 0: the server did not take the job
    std::string detail;  // the server's words when it did not
};

// Sends `path` as one job named `title` with `copies` copies (at least 1).
Submission SubmitFile(const std::string& queue, const std::string& path, const std::string& title,
                      int copies);

}  // namespace printing
