/*
 * read_card.c - reads one card with kestro.dll and shows what the reader
 * said about each track. Build it with the kit (from the kit's folder):
 *
 *   MSVC:   cl /I include samples\read_card.c x86\kestro.lib
 *   MinGW:  gcc samples/read_card.c -Iinclude -Lx86 -lkestro
 *
 * and run it with x86\kestro.dll beside it. The card's text is not printed:
 * track data is card data, and belongs on no console or log.
 */
#include <stdio.h>

#include "kestro.h"

int main(void) {
    unsigned char card[MR_READ_BUF_LEN];
    int32_t result;
    int tries, track;

    printf("Kestro %s\n", KESTRO_VERSION_STRING);
    SetID(MR_PID_IDTECH); /* the reader's "USB/HID IDTECH" mode */
    result = OpenKestro();
    if (result == KESTRO_OPEN_USB_NO_READER) {
        printf("no reader in the USB/HID IDTECH mode\n");
        return 1;
    }
    if (result != KESTRO_OPEN_USB_OK) {
        printf("OpenKestro: %ld\n", (long)result);
        return 1;
    }

    printf("swipe a card within 10 seconds\n");
    result = KESTRO_READ_DATA_NO_CARD;
    for (tries = 0; tries < 10 && result == KESTRO_READ_DATA_NO_CARD; ++tries) {
        result = ReadData(card, 1000, 0);
    }
    if (result == KESTRO_READ_DATA_OK) {
        printf("a card: %d bytes\n", card[MR_CARD_COUNT_AT] | card[MR_CARD_COUNT_AT + 1] << 8);
        for (track = 0; track < MR_CARD_TRACKS; ++track) {
            printf("track %d: %s, %d characters\n", track + 1,
                   card[MR_CARD_STATUS_AT + track] == 0 ? "read well" : "not read",
                   card[MR_CARD_LENGTH_AT + track]);
        }
    } else if (result == KESTRO_READ_DATA_NO_CARD) {
        printf("no card\n");
    } else {
        printf("ReadData: %ld\n", (long)result);
    }
    CloseKestro();
    return result == KESTRO_READ_DATA_OK ? 0 : 1;
}
