// Reads one card through the kit's declarations (Kestro.cs), as a .NET
// program would: SetID, OpenKestro, then ReadData until a card arrives
// (at most `seconds`), then CloseKestro. Prints "opened" once the session is
// open (the test swipes then), and the card's report as text. Exit code 0
// only when a card was read.
using System;
using System.Text;
using KestroReader;

public static class ReadCard {
    public static int Main(string[] args) {
        int seconds = args.Length > 0 ? int.Parse(args[0]) : 10;
        int open = -1;
        Kestro.SetID(Kestro.MR_PID_IDTECH);
        open = Kestro.OpenKestro();
        Console.WriteLine("OpenKestro: {0}", open);
        if (open != 0) {
            return 1;
        }
        Console.WriteLine("opened");
        Console.Out.Flush();
        var card = new byte[Kestro.MR_READ_BUF_LEN];
        int read = 3;
        for (int i = 0; i < seconds && read != 0; ++i) {
            read = Kestro.ReadData(card, 1000, 0);
        }
        Console.WriteLine("ReadData: {0}", read);
        if (read == 0) {
            int n = card[0] | card[1] << 8;
            int end = Math.Min(2 + n, card.Length);
            while (end > 2 && card[end - 1] == 0) {
                --end; // the zeros after the card's text
            }
            var text = new StringBuilder();
            for (int i = 2; i < end; ++i) {
                text.Append(card[i] >= 0x20 && card[i] < 0x7F ? (char)card[i] : '.');
            }
            Console.WriteLine("report of {0} bytes: {1}", n, text);
        }
        Console.WriteLine("CloseKestro: {0}", Kestro.CloseKestro());
        return read == 0 ? 0 : 1;
    }
}
