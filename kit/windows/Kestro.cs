// Declarations of kestro.dll, the USB magnetic-stripe card reader library,
// for .NET (P/Invoke). Put kestro.dll (32-bit for an x86 process, 64-bit for
// an x64 one) beside the program. The same declarations load libkestro.so
// on Linux under Mono.
//
// Everything is in the namespace KestroReader. Every function returns an
// int (32 bits), 0 for success; the enums below name each function's
// results. Integers are passed as int. Buffers are byte arrays that the
// caller sizes:
//
//     using KestroReader;
//     var card = new byte[Kestro.MR_READ_BUF_LEN];
//     Kestro.SetID(Kestro.MR_PID_IDTECH);
//     if ((OpenUSBResult)Kestro.OpenKestro() == OpenUSBResult.Ok &&
//         (ReadDataResult)Kestro.ReadData(card, 5000, 0) == ReadDataResult.Ok) {
//         int n = card[0] | card[1] << 8; // report length, then the report
//     }
//     Kestro.CloseKestro();
//
// Buffer sizes: ReadData and ReadData1 write MR_READ_BUF_LEN (1024) bytes;
// GetMrState writes MR_FEATURE_LEN (25); SetMrStateEx and SetMrStateBuf read
// MR_STATE_LEN (7); RetrieveStatistics writes at most len bytes;
// UpdateStatistics reads len (at most MR_STAT_UPDATE_MAX, 21). A shorter
// array lets the library write past its end.
//
// One session per process, called from one thread at a time. The trace
// goes to \kestro.log in the root of the current drive, only if that file
// exists.
using System.Runtime.InteropServices;

namespace KestroReader {

    // Result codes, numbered per function as in kestro.h (KESTRO_OPEN_USB_NO_READER
    // is OpenUSBResult.NoReader). OpenKestro returns OpenUSBResult; CloseUSB,
    // CloseKestro and SetID always return 0.
    public enum OpenUSBResult {
        Ok = 0,
        AlreadyOpen = 1, // nothing done
        NoReader = 2,
    }
    public enum ReadDataResult {
        Ok = 0, // a report read, or a read already under way
        NoSession = 1,
        NoReadHandle = 2,
        NoCard = 3, // nothing in time, or the read failed
    }
    public enum ReadData1Result {
        Ok = 0,
        NoSession = 1,
        Failed = 2, // no slot for the product id, or the read failed
    }
    public enum SetMrStateExResult {
        Ok = 0,
        NoSession = 4,
        Rejected = 5, // or no matching reader
    }
    public enum SetMrStateBufResult {
        Ok = 0,
        NoSession = 1,
        Rejected = 5,
    }
    public enum SetMrStateResult {
        Ok = 0,
        NoSession = 1,
        NoProfile = 2, // neither msr.ini nor torvanexmsr.ini
        Rejected = 5,
    }
    public enum GetMrStateResult {
        Ok = 0,
        NoSession = 1,
        NoAnswer = 3,
    }
    public enum ResetDeviceResult {
        Ok = 0,
        NoSession = 3,
        Rejected = 4,
    }
    public enum ChangeModeResult {
        Ok = 0,
        NoSession = 5,
        Rejected = 6,
    }
    public enum FlushCounterResult {
        Ok = 0,
        Rejected = 1, // also without a session
    }
    public enum RetrieveStatisticsResult {
        Ok = 0,
        NoAnswer = 1,
        ShortBuffer = 2, // len < 4
        MoreData = 3, // pbuf got the first len bytes
    }
    public enum ResetStatisticsResult {
        Ok = 0,
        Rejected = 1,
        BadIndex = 2,
        TooEarly = 4,
        TooLate = 5,
    }
    public enum UpdateStatisticsResult {
        Ok = 0,
        Rejected = 1,
        BadArgument = 3, // idx or len out of range
        TooEarly = 4,
        TooLate = 5,
    }

    public static class Kestro {
        const string Dll = "kestro";

        // USB vendor id and the product ids of the reader's three modes.
        public const int MR_VID = 0x3E7A;
        public const int MR_PID_KEYBOARD = 0x0500;
        public const int MR_PID_IDTECH = 0x05A0;
        public const int MR_PID_MAGTEK = 0x05B0;

        // Buffer and report sizes, in bytes.
        public const int MR_FEATURE_LEN = 25;
        public const int MR_FEATURE_LEN_SHORT = 10;
        public const int MR_READ_LEN = 538;
        public const int MR_READ_BUF_LEN = 1024;
        public const int MR_STATE_LEN = 7;

        // A card in the read buffer: byte positions (track statuses 0 = read well,
        // track lengths, and the first and last byte of the text in each HID mode).
        public const int MR_CARD_COUNT_AT = 0;
        public const int MR_CARD_REPORT_AT = 2;
        public const int MR_CARD_STATUS_AT = 3;
        public const int MR_CARD_LENGTH_AT = 6;
        public const int MR_CARD_TRACKS = 3;
        public const int MR_CARD_TEXT_FIRST_IDTECH = 12;
        public const int MR_CARD_TEXT_LAST_IDTECH = 539;
        public const int MR_CARD_TEXT_FIRST_MAGTEK = 10;
        public const int MR_CARD_TEXT_LAST_MAGTEK = 339;

        // Command codes (byte 1 of the feature report).
        public const int MR_CMD_SET_STATE = 0xB2;
        public const int MR_CMD_GET_STATE = 0xB3;
        public const int MR_CMD_CHANGE_MODE = 0xBE;
        public const int MR_CMD_FLUSH_COUNTER = 0xBF;
        public const int MR_CMD_RESET_STATISTICS = 0xC0;
        public const int MR_CMD_RETRIEVE_STATISTICS = 0xD0;
        public const int MR_CMD_UPDATE_STATISTICS = 0xE0;
        public const int MR_CMD_RESET = 0xFF;
        public const int MR_RESET_MARK = 0xAA;

        // Limits: slots of a session, statistics records and their sizes.
        public const int MR_MAX_SLOTS = 256;
        public const int MR_STAT_MAX_INDEX = 15;
        public const int MR_STAT_UPDATE_MAX = 21;
        public const int MR_STAT_ANSWER_MAX = 23;

        // Session: 0 opened, 1 already open, 2 no reader; SetID chooses the
        // product id of the next open; gtime is seconds since 1970 (UTC).
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int OpenUSB();
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int OpenKestro();
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int CloseUSB();
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int CloseKestro();
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int SetID(int new_pid);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int gtime();

        // Card data: pbuf holds MR_READ_BUF_LEN bytes; timeout in ms.
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ReadData([In, Out] byte[] pbuf, int timeout, int tag);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ReadData1([In, Out] byte[] pbuf);

        // Configuration: state holds MR_STATE_LEN bytes, report MR_FEATURE_LEN.
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int SetMrStateEx([In] byte[] state);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int SetMrStateBuf([In] byte[] state);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int SetMrState();
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int GetMrState([In, Out] byte[] report);

        // Commands: ChangeMode 1 keyboard, 2 IDTECH, 3 MAGTEK.
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ResetDevice(int mode);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ChangeMode(int mode);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int FlushCounter();

        // Statistics: records 1 to 15; pbuf and data hold at least len bytes.
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int RetrieveStatistics(int idx, [In, Out] byte[] pbuf, int len);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ResetStatistics(int idx, int pw1, int pw2);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int UpdateStatistics(int idx, [In] byte[] data, int len, int pw1, int pw2);
    }

}  // namespace KestroReader
