// The help texts: the whole command's, and each command's full usage.
#include <cstring>
#include <string>

#include "cli.h"

namespace kcli {
namespace {

struct GroupHelp {
    const char* group;
    const char* text;
};

const GroupHelp kGroups[] = {
    {"list",
     "Usage: kestro list [--format text|json]\n"
     "Each interface with the reader's vendor id: its kind (hidraw, or virtual\n"
     "for a reader served by kestro-virtual-reader), node, mode and whether this\n"
     "user can open it (if not: why, and on stderr the fix); then each mode in\n"
     "which the reader answers the library. Exits with 2 when none answers.\n"
     "\n"
     "  --format text|json     json: one object, {\"interfaces\": [{\"kind\",\n"
     "                         \"node\", \"product_id\" (a number, null when\n"
     "                         unknown), \"mode\" (null when unknown),\n"
     "                         \"can_open\", \"why\" (\"\" when it can)}],\n"
     "                         \"answering\": [{\"product_id\", \"mode\"}]}\n"},
    {"read",
     "Usage: kestro read [--count N] [--timeout MS] [--format text|json] [--unmasked]\n"
     "Waits for cards swiped on the reader (in USB/HID IDTECH or USB/HID MAGTEK\n"
     "mode) and prints each: every track's status and length, then the card's\n"
     "text lines, decoded as KestroConfigure decodes them.\n"
     "\n"
     "Card numbers show their first 6 and last 4 digits only, names and\n"
     "discretionary data are hidden (each hidden character as '*'), and bytes\n"
     "outside printable ASCII are shown as \\xNN: what the command prints stays\n"
     "in scrollback, logs and CI records, where anyone who reads them could use\n"
     "a whole card.\n"
     "\n"
     "When the reader leaves (unplugged, reset, a mode change), read says so on\n"
     "stderr within about a second, waits for it to come back in an HID mode and\n"
     "reads on.\n"
     "\n"
     "  --count N              cards to read (1 to 1000000, default 1)\n"
     "  --timeout MS           longest wait for each card, the reader's absence\n"
     "                         included (0 to 86400000; default 0, no end): exit 3\n"
     "                         when no card came, 2 when the reader left and was\n"
     "                         not back\n"
     "  --format text|json     json: one line a card, {\"masked\": true|false,\n"
     "                         \"tracks\": [{\"status\", \"ok\", \"length\"} x 3],\n"
     "                         \"lines\": [\"...\"]}, strings JSON-escaped\n"
     "  --unmasked             print the card data whole; only for test cards, or\n"
     "                         where no one else sees the output\n"},
    {"mode",
     "Usage: kestro mode kb|idtech|magtek [--timeout MS]\n"
     "Changes the reader's mode (kb USB/KB, idtech USB/HID IDTECH, magtek\n"
     "USB/HID MAGTEK), resets it, waits until it is back under the new mode's\n"
     "product id and prints its new mode, as \"USB/HID MAGTEK (05B0)\".\n"
     "\n"
     "  --timeout MS           how long the whole command may take, the\n"
     "                         library's own 1100 ms of waits included (1100 to\n"
     "                         600000, default 10000); exit 3 when the reader is\n"
     "                         not back in time\n"},
    {"config",
     "Usage: kestro config get [--format text|json]\n"
     "       kestro config set BYTES\n"
     "get prints the reader's 7 configuration bytes and its whole 25-byte\n"
     "answer, in hex; set sends 7 configuration bytes given in hex, as one word\n"
     "(11223344556677) or one word a byte (11 22 33 44 55 66 77).\n"
     "\n"
     "  --format text|json     json (get): {\"configuration\": \"11223344556677\",\n"
     "                         \"answer\": \"00B3...\"}, hex as config set takes it\n"},
    {"stats",
     "Usage: kestro stats get INDEX [--length N] [--format text|json]\n"
     "       kestro stats reset INDEX\n"
     "       kestro stats update INDEX [BYTES]\n"
     "The reader's statistics records 1 to 15. get prints record INDEX in hex;\n"
     "reset clears it; update writes up to 21 bytes, given in hex, to it. The\n"
     "command works out the access check that reset and update need.\n"
     "\n"
     "  --length N             get: at most N bytes (4 to 23, default 23); on\n"
     "                         stderr a note when the record holds more\n"
     "  --format text|json     json (get): {\"record\": INDEX, \"data\": \"0102...\",\n"
     "                         \"more\": true when the record holds more}\n"},
};

}  // namespace

const char* help_text() {
    return "Usage: kestro COMMAND [OPTIONS]\n"
           "Drive a USB magnetic-stripe card reader (vendor id 3E7A) through libkestro.\n"
           "\n"
           "Commands (kestro COMMAND --help gives each one's options):\n"
           "  list [--format text|json]\n"
           "                         each reader interface with its mode, its node and\n"
           "                         whether this user can open it (and if not, why)\n"
           "  read [--count N] [--timeout MS] [--format text|json] [--unmasked]\n"
           "                         print each swiped card: every track's status and\n"
           "                         length, then its text lines, card numbers masked,\n"
           "                         names and discretionary data hidden unless\n"
           "                         --unmasked; follows the reader when it leaves\n"
           "  mode kb|idtech|magtek [--timeout MS]\n"
           "                         change the reader's mode, wait until it is back\n"
           "                         (the whole command within MS, default 10000 ms)\n"
           "                         and print its new mode\n"
           "  config get [--format text|json]\n"
           "                         print the reader's 7 configuration bytes\n"
           "  config set BYTES       send 7 configuration bytes in hex, as one word\n"
           "                         (11223344556677) or one word a byte\n"
           "  stats get INDEX [--length N] [--format text|json]\n"
           "                         print statistics record INDEX (1 to 15)\n"
           "  stats reset INDEX      clear statistics record INDEX\n"
           "  stats update INDEX [BYTES]\n"
           "                         write up to 21 bytes, in hex, to record INDEX\n"
           "\n"
           "Options:\n"
           "  -h, --help             show this help (after a command: that command's)\n"
           "  -V, --version          show the version\n"
           "Commands take long options only; an unambiguous abbreviation works too.\n"
           "\n"
           "The reader is looked for in its modes USB/HID IDTECH, USB/HID MAGTEK and\n"
           "USB/KB, in this order. Cards are read in the two HID modes only. Virtual\n"
           "readers (kestro-virtual-reader) are found only when KESTRO_VIRTUAL_READERS=1.\n"
           "Hex is printed in upper case. See kestro(1) for the environment.\n"
           "\n"
           "Exit status:\n"
           "  0  success\n"
           "  1  bad usage (one line on stderr; nothing was changed)\n"
           "  2  no reader answered, or it left and was not back in time\n"
           "  3  no card arrived in time, or the reader refused or failed a command\n";
}

const char* group_help(const std::string& group) {
    for (const GroupHelp& g : kGroups) {
        if (group == g.group) {
            return g.text;
        }
    }
    return help_text();
}

}  // namespace kcli
