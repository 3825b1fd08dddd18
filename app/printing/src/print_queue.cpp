#include <cups/cups.h>
#include <printing/print_queue.h>

#include <cstring>
#include <string>

namespace printing {
namespace {

// The library reports a server it cannot reach as "no default destination";
// a connection of our own tells the two apart.
bool ServerAnswers() {
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                5000, nullptr);
    if (!http) return false;
    httpClose(http);
    return true;
}

}  // namespace

QueueLookup LookUpDefaultQueue() {
    QueueLookup out;
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
    if (!dest) {
        out.detail = cupsLastErrorString() ? cupsLastErrorString() : "";
        out.state = ServerAnswers() ? QueueState::Missing : QueueState::Unreachable;
        return out;
    }
    out.name = dest->name ? dest->name : "";
    const char* accepting =
        cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
    // The server names the attribute for every queue it knows; without it the
    // destination is only a name in the user's options.
    if (!accepting) {
        out.state = QueueState::Missing;
    } else if (std::strcmp(accepting, "true") != 0) {
        out.state = QueueState::Rejecting;
        const char* message =
            cupsGetOption("printer-state-message", dest->num_options, dest->options);
        out.detail = message ? message : "";
    } else {
        out.state = QueueState::Ready;
    }
    cupsFreeDests(1, dest);
    return out;
}

Submission SubmitFile(const std::string& queue, const std::string& path, const std::string& title,
                      int copies) {
    Submission out;
    cups_option_t* options = nullptr;
    int count = 0;
    if (copies > 1)
        count = cupsAddOption("copies", std::to_string(copies).c_str(), count, &options);
    out.jobId = cupsPrintFile2(CUPS_HTTP_DEFAULT, queue.c_str(), path.c_str(), title.c_str(), count,
                               options);
    cupsFreeOptions(count, options);
    if (out.jobId <= 0) {
        out.jobId = 0;
        out.detail = cupsLastErrorString() ? cupsLastErrorString() : "";
    }
    return out;
}

}  // namespace printing
