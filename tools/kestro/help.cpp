// The help texts. The manual page is made from `kestro --help`.
#include <cstring>

#include "cli.h"

namespace kcli {

const char* help_text() {
    return "Usage: kestro COMMAND [OPTIONS]\n"
           "Drive a USB magnetic-stripe card reader (vendor id 3E7A) through libkestro.\n"
           "\n"
           "Commands:\n"
           "  list                   each reader interface with its mode, its node and\n"
           "                         whether this user can open it (and if not, why)\n"
           "  read [--count N] [--timeout MS] [--format text|json] [--unmasked]\n"
           "                         print each swiped card: every track's status and\n"
           "                         length, then the card's text lines (default 1 card;\n"
           "                         --timeout limits the wait for each card, 0 waits\n"
           "                         without end; json prints one object a card). Card\n"
           "                         numbers show only their first 6 and last 4 digits,\n"
           "                         names and discretionary data are hidden: output\n"
           "                         stays in scrollback, logs and CI records, where\n"
           "                         anyone who reads them could use a whole card.\n"
           "                         --unmasked prints the data whole.\n"
           "  mode kb|idtech|magtek [--timeout MS]\n"
           "                         change the reader's mode, wait until it is back\n"
           "                         (default 10000 ms) and print its new mode\n"
           "  config get             print the reader's 7 configuration bytes\n"
           "  config set BYTES       send 7 configuration bytes in hex, as one word\n"
           "                         (11223344556677) or one word a byte\n"
           "  stats get INDEX [--length N]\n"
           "                         print statistics record INDEX (1 to 15), at most N\n"
           "                         bytes (4 to 23, default 23)\n"
           "  stats reset INDEX      clear statistics record INDEX\n"
           "  stats update INDEX [BYTES]\n"
           "                         write up to 21 bytes, in hex, to record INDEX\n"
           "\n"
           "Options:\n"
           "  -h, --help             show this help (after a command: that command's)\n"
           "  -V, --version          show the version\n"
           "\n"
           "The reader is looked for in its modes USB/HID IDTECH, USB/HID MAGTEK and\n"
           "USB/KB, in this order. Cards are read in the two HID modes only. Virtual\n"
           "readers (kestro-virtual-reader) are found only when KESTRO_VIRTUAL_READERS=1.\n"
           "\n"
           "Exit status:\n"
           "  0  success\n"
           "  1  bad usage (one line on stderr; nothing was changed)\n"
           "  2  no reader answered, or it left and was not back in time\n"
           "  3  no card arrived in time, or the reader refused or failed a command\n";
}

const char* group_help(const std::string& group) {
    static const struct {
        const char* group;
        const char* text;
    } kGroups[] = {
        {"list", "Usage: kestro list\n"},
        {"read",
         "Usage: kestro read [--count N] [--timeout MS] [--format text|json] [--unmasked]\n"},
        {"mode", "Usage: kestro mode kb|idtech|magtek [--timeout MS]\n"},
        {"config", "Usage: kestro config get\n       kestro config set BYTES\n"},
        {"stats",
         "Usage: kestro stats get INDEX [--length N]\n       kestro stats reset INDEX\n"
         "       kestro stats update INDEX [BYTES]\n"},
    };
    for (const auto& g : kGroups) {
        if (group == g.group) {
            return g.text;
        }
    }
    return help_text();
}

}  // namespace kcli
