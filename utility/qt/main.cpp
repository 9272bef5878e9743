// KestroConfigure: the operator utility for the USB card reader.
#include <QApplication>
#include <cstdio>

#include "../binding/kestro_binding.h"
#include "../logic/form1_logic.h"
#include "artwork.h"
#include "display_check.h"
#include "form1.h"
#include "node_access/node_access.h"

int main(int argc, char* argv[]) {
    // Without a display Qt would abort with its own generic text.
    const std::string no_display =
        kestro::NoDisplayMessage(kestro::CurrentDisplayEnvironment(argc, argv));
    if (!no_display.empty()) {
        std::fprintf(stderr, "%s\n", no_display.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kestro::kAppTitle));
    QApplication::setWindowIcon(kestro::ProgramIcon());

    kestro::KestroBinding library;
    kestro::Form1 form;
    kestro::Form1Logic logic(form, library);
    form.Attach(&logic);

    // A reader that this user may not open looks like no reader to the
    // library and the window; the terminal gets the node and the fix.
    const std::string denied = node_access::denied_line(node_access::reader_nodes());
    if (!denied.empty()) {
        std::fprintf(stderr, "KestroConfigure: %s\n", denied.c_str());
    }

    logic.Form_Load();
    if (logic.Ended()) {
        return 0;
    }
    return QApplication::exec();
}
