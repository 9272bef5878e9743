// The reader as `kestro read` follows it: opened in an HID mode, watched
// while the command waits for cards, and when it has left, waited for until
// it is back in an HID mode (any of them) and opened again.
#pragma once

#include <cstdint>

#include "card.h"
#include "cli.h"

namespace kcli {

class FollowedReader {
  public:
    enum class Outcome {
        Card,    // *card holds one
        NoCard,  // the deadline came first
        Gone,    // the reader left and was not back by the deadline
        Failed,  // the library refused the read (*status says how)
    };

    // Opens the reader in whichever mode answers; nullptr when none does.
    // A reader in USB/KB mode stays open so that the caller can say so.
    const Mode* open();
    // Waits for the next card until `deadline` (now_ms() time; -1 waits
    // without end), following the reader when it leaves.
    Outcome next_card(int64_t deadline, Card* card, int32_t* status);
    void close();

  private:
    // Whether the open session still reaches the reader: false when it has
    // left (the session is then closed).
    bool still_there();
    // Closes the session and opens it again in the same mode; false when
    // the reader does not answer (the session is then closed).
    bool reopen();
    // Waits until the reader answers in an HID mode; false at the deadline.
    bool wait_until_back(int64_t deadline);

    const Mode* mode_ = nullptr;
    int64_t checked_at_ = 0;  // when the reader was last known to be there
    int unreadable_ = 0;      // sessions in a row that had no read handle
};

}  // namespace kcli
