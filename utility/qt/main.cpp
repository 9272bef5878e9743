// KestroConfigure: the operator utility for the USB card reader.
#include <QApplication>

#include "../binding/kestro_binding.h"
#include "../logic/form1_logic.h"
#include "artwork.h"
#include "form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kestro::kAppTitle));
    QApplication::setWindowIcon(kestro::ProgramIcon());

    kestro::KestroBinding library;
    kestro::Form1 form;
    kestro::Form1Logic logic(form, library);
    form.Attach(&logic);

    logic.Form_Load();
    if (logic.Ended()) {
        return 0;
    }
    return QApplication::exec();
}
