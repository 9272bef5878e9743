// ReadCard.cs - reads one card with kestro.dll and shows what the reader
// said about each track. Build it with the kit's declarations, for the
// DLL beside the program (x86 here):
//
//   csc /platform:x86 /out:ReadCard.exe dotnet\Kestro.cs samples\ReadCard.cs
//
// The card's text is not printed: track data is card data, and belongs on
// no console or log.
using System;
using KestroReader;

public static class ReadCardSample {
    public static int Main() {
        var card = new byte[Kestro.MR_READ_BUF_LEN];
        Kestro.SetID(Kestro.MR_PID_IDTECH); // the reader's "USB/HID IDTECH" mode
        var open = (OpenUSBResult)Kestro.OpenKestro();
        if (open != OpenUSBResult.Ok) {
            Console.WriteLine("OpenKestro: {0}", open); // NoReader: not connected in that mode
            return 1;
        }
        Console.WriteLine("swipe a card within 10 seconds");
        var read = ReadDataResult.NoCard;
        for (int i = 0; i < 10 && read == ReadDataResult.NoCard; ++i) {
            read = (ReadDataResult)Kestro.ReadData(card, 1000, 0);
        }
        if (read == ReadDataResult.Ok) {
            int n = card[Kestro.MR_CARD_COUNT_AT] | card[Kestro.MR_CARD_COUNT_AT + 1] << 8;
            Console.WriteLine("a card: {0} bytes", n);
            for (int t = 0; t < Kestro.MR_CARD_TRACKS; ++t) {
                Console.WriteLine("track {0}: {1}, {2} characters", t + 1,
                                  card[Kestro.MR_CARD_STATUS_AT + t] == 0 ? "read well" : "not read",
                                  card[Kestro.MR_CARD_LENGTH_AT + t]);
            }
        } else {
            Console.WriteLine("ReadData: {0}", read);
        }
        Kestro.CloseKestro();
        return read == ReadDataResult.Ok ? 0 : 1;
    }
}
