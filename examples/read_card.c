/* Reads one card from a reader in one of its HID modes and prints each
 * track's status and length, then the card's text lines.
 *   cc read_card.c $(pkg-config --cflags --libs kestro) -o read_card */
#include <kestro.h>
#include <stdio.h>

int main(void) {
    static const int32_t modes[2] = {MR_PID_IDTECH, MR_PID_MAGTEK};
    unsigned char buf[MR_READ_BUF_LEN];
    int first = 0, last = -1, i, t, polls;
    for (i = 0; i < 2 && last < 0; ++i) {
        SetID(modes[i]);
        if (OpenKestro() != 0) {
            continue;
        }
        first = modes[i] == MR_PID_IDTECH ? MR_CARD_TEXT_FIRST_IDTECH : MR_CARD_TEXT_FIRST_MAGTEK;
        last = modes[i] == MR_PID_IDTECH ? MR_CARD_TEXT_LAST_IDTECH : MR_CARD_TEXT_LAST_MAGTEK;
    }
    if (last < 0) {
        fprintf(stderr, "no reader in an HID mode\n");
        return 2;
    }
    printf("swipe a card\n");
    fflush(stdout);
    for (polls = 0; polls < 300; ++polls) { /* 30 seconds */
        if (ReadData(buf, 100, 0) != 0 ||
            buf[MR_CARD_LENGTH_AT] + buf[MR_CARD_LENGTH_AT + 1] + buf[MR_CARD_LENGTH_AT + 2] == 0) {
            continue;
        }
        for (t = 0; t < MR_CARD_TRACKS; ++t) {
            printf("track %d: %s, length %d\n", t + 1,
                   buf[MR_CARD_STATUS_AT + t] == 0 ? "ok" : "not ok", buf[MR_CARD_LENGTH_AT + t]);
        }
        for (i = first; i <= last; ++i) { /* CR ends a line, LF and zeros are dropped */
            if (buf[i] == '\r') {
                putchar('\n');
            } else if (buf[i] != 0 && buf[i] != '\n') {
                putchar(buf[i]);
            }
        }
        putchar('\n');
        CloseKestro();
        return 0;
    }
    CloseKestro();
    fprintf(stderr, "no card within 30 seconds\n");
    return 3;
}
