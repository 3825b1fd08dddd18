// The per-machine marker that shows a card is open in an application. It is
// an abstract local socket named after the marker title: it exists while the
// owning process holds it, vanishes when that process dies, and another
// process that finds it can ask the owner to bring its window to the front.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace bbdev {

inline constexpr const char* kMarkerTitlePrefix = "{D48CA993-4925-41cb-8F59-ABAAAFCEF797}";
inline constexpr unsigned kMarkerControlId = 31415;

std::string MarkerTitle(const std::string& engineAddress);

class CExclusivityMarker {
public:
    explicit CExclusivityMarker(std::string title);
    ~CExclusivityMarker();
    CExclusivityMarker(const CExclusivityMarker&) = delete;
    CExclusivityMarker& operator=(const CExclusivityMarker&) = delete;

    // Creates the marker when no process holds one of this title, else tells
    // the user and hands the card over to the other application. Returns the
    // message text formed last (empty when none).
    std::string Establish(unsigned card);
    bool owned() const { return listenFd_ >= 0; }
    const std::string& title() const { return title_; }

    // True when some process (this one included) holds a marker of the title.
    static bool Exists(const std::string& title);
    // Asks the holder of the marker to bring its window to the front.
    static bool AskToRaise(const std::string& title);

private:
    bool Create();
    void Serve();

    std::string title_;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::thread server_;
};

}  // namespace bbdev
