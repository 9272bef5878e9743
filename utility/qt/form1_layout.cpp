// Form1's controls made from the design, one widget per row.
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPixmap>
#include <QPlainTextEdit>

#include "../logic/form1_logic.h"
#include "artwork.h"
#include "caption_button.h"
#include "form1.h"

namespace kestro {

namespace {

// The designed faces are the classic Windows ones; elsewhere the closest
// sans face (metric twins first) at the same size.
QFont UiFont(const FontDesign& design) {
    QFont font;
#ifdef _WIN32
    font.setFamily(QString::fromLatin1(design.family));
#else
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica"),
                      QStringLiteral("Arial")});
#endif
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(design.points_x100 / 100.0);
    // Set every attribute, so a control never inherits its frame's bold title.
    font.setWeight(design.bold ? QFont::Bold : QFont::Normal);
    font.setItalic(false);
    return font;
}

}  // namespace

QWidget* Form1::Make(const ControlDesign& d, QWidget* parent) {
    const QString caption = QString::fromLatin1(d.caption);
    switch (d.kind) {
        case Kind::kImage: {
            auto* image = new QLabel(parent);
            image->setPixmap(QPixmap::fromImage(BannerPicture()));
            return image;
        }
        case Kind::kLabel:
            return new QLabel(caption, parent);
        case Kind::kTextBox:
            if ((d.flags & kMultiLine) != 0) {
                auto* box = new QPlainTextEdit(caption, parent);
                box->setReadOnly((d.flags & kReadOnly) != 0);
                box->setLineWrapMode(QPlainTextEdit::NoWrap);
                box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                box->setTabChangesFocus((d.flags & kTabLeaves) != 0);
                return box;
            } else {
                auto* box = new QLineEdit(caption, parent);
                box->setReadOnly((d.flags & kReadOnly) != 0);
                return box;
            }
        case Kind::kComboBox: {
            // Editable; the typed text stays exactly as typed: no completion
            // and no case-blind match against the entries.
            auto* combo = new QComboBox(parent);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setCompleter(nullptr);
            combo->setEditText(caption);
            return combo;
        }
        case Kind::kCommandButton:
            return new CaptionButton(caption, (d.flags & kWrapCaption) != 0, parent);
        case Kind::kCheckBox:
            return new QCheckBox(caption, parent);
        case Kind::kFrame:
            return new QGroupBox(caption, parent);
        case Kind::kListBox:
            break;
    }
    return new QListWidget(parent);
}

void Form1::BuildControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kForm1Caption));
    setWindowIcon(ProgramIcon());
    setFixedSize(kForm1Width / kTwipsPerPixel, kForm1Height / kTwipsPerPixel);
    setFont(UiFont(FontOf(Face::kWindow)));
    timer1_.setObjectName(QStringLiteral("Timer1"));
    timer1_.setInterval(1000);

    QWidget* frame = nullptr;
    for (const ControlDesign& d : Form1Design()) {
        QWidget* widget = Make(d, d.in_frame ? frame : this);
        widget->setObjectName(QString::fromLatin1(d.control.name.data(),
                                                  static_cast<qsizetype>(d.control.name.size())));
        if (d.control.index >= 0) {
            widget->setProperty("index", d.control.index);
        }
        if (d.tab_index >= 0) {
            widget->setProperty("tabIndex", d.tab_index);
        }
        const Twips& t = d.place;
        widget->setGeometry(t.left / kTwipsPerPixel, t.top / kTwipsPerPixel,
                            t.width / kTwipsPerPixel, t.height / kTwipsPerPixel);
        widget->setFont(UiFont(FontOf(d.face)));
        if (d.back) {
            QPalette palette = widget->palette();
            palette.setColor(QPalette::Base, QColor(d.back->red, d.back->green, d.back->blue));
            widget->setPalette(palette);
        }
        widget->setVisible((d.flags & kHidden) == 0);
        widget->setEnabled((d.flags & kDisabled) == 0);
        if (d.kind == Kind::kCommandButton) {
            connect(static_cast<CaptionButton*>(widget), &QPushButton::clicked, this, [this, &d] {
                if (logic_ != nullptr) {
                    logic_->Click(d.control);
                }
            });
        }
        if (d.kind == Kind::kFrame) {
            frame = widget;
        }
        widgets_.push_back(widget);
    }

    // Keyboard focus moves through the controls by tab index.
    const std::vector<const ControlDesign*> order = TabOrder();
    for (std::size_t i = 1; i < order.size(); ++i) {
        setTabOrder(widgets_[RowOf(*order[i - 1])], widgets_[RowOf(*order[i])]);
    }
}

}  // namespace kestro
