// Form1's controls: kinds, names, captions, places, tab order, fonts and
// colours.
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
#include <QPushButton>

#include "caption_button.h"
#include <algorithm>
#include <vector>

#include "artwork.h"
#include "form1.h"

namespace kestro {

namespace {

constexpr int kClientWidth = 10785;
constexpr int kClientHeight = 7905;
const QColor kLightGrey(224, 224, 224);

// The designed faces are the classic Windows ones; elsewhere the closest
// sans face (metric twins first) at the same size.
QFont UiFont(const char* windows_face, double points, bool bold) {
    QFont font;
#ifdef _WIN32
    font.setFamily(QString::fromLatin1(windows_face));
#else
    (void)windows_face;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica"),
                      QStringLiteral("Arial")});
#endif
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    // Set every attribute, so a control never inherits its frame's bold title.
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(false);
    return font;
}

QFont WindowFont() {
    return UiFont("MS Sans Serif", 9.75, false);
}
QFont LargeFont() {
    return UiFont("MS Sans Serif", 12, false);
}
QFont FrameTitleFont() {
    return UiFont("Arial", 12, true);
}

void SetBase(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, color);
    widget->setPalette(palette);
}

QLineEdit* ReadOnlyBox(QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setReadOnly(true);
    SetBase(box, kLightGrey);
    return box;
}

}  // namespace

template <typename W>
W* Form1::Place(W* widget, const Control& c, const Twips& twips, int tab_index) {
    widget->setObjectName(
        QString::fromLatin1(c.name.data(), static_cast<qsizetype>(c.name.size())));
    if (c.index >= 0) {
        widget->setProperty("index", c.index);
    }
    if (tab_index >= 0) {
        widget->setProperty("tabIndex", tab_index);
    }
    widget->setGeometry(twips.left / kTwipsPerPixel, twips.top / kTwipsPerPixel,
                        twips.width / kTwipsPerPixel, twips.height / kTwipsPerPixel);
    controls_[{std::string(c.name), c.index}] = widget;
    return widget;
}

void Form1::BuildControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Torvanex USB MSR Configure v1.00"));
    setWindowIcon(ProgramIcon());
    setFixedSize(kClientWidth / kTwipsPerPixel, kClientHeight / kTwipsPerPixel);
    setFont(WindowFont());

    auto* image = Place(new QLabel(this), ctl::Image1, {0, 120, 4500, 1950}, -1);
    image->setPixmap(QPixmap::fromImage(BannerPicture()));

    Place(new QLabel(QStringLiteral("MSR Mode:"), this), ctl::Label5, {5280, 720, 1335, 375}, 7)
        ->setFont(LargeFont());
    Place(ReadOnlyBox(this), ctl::txtMsrType, {6720, 720, 2175, 375}, 20)->setFont(LargeFont());
    Place(new QLabel(QStringLiteral("Will be changed to:"), this), ctl::Label1,
          {4560, 1440, 2055, 375}, 24)
        ->setFont(LargeFont());

    auto* combo = Place(new QComboBox(this), ctl::comboMsrType2, {6720, 1440, 2175, 420}, 22);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setFont(LargeFont());

    Place(new CaptionButton(QStringLiteral("Exit"), this), ctl::cmdEXIT, {9120, 120, 1455, 495}, 2)
        ->setFont(LargeFont());
    Place(new CaptionButton(QStringLiteral("Help"), this), ctl::cmdHELP, {9120, 600, 1455, 495}, 25)
        ->setFont(LargeFont());
    auto* change = Place(new CaptionButton(QStringLiteral("Change Mode"), this), ctl::cmdChangeMode,
                         {9120, 1320, 1455, 735}, 23);
    change->setFont(LargeFont());
    change->setEnabled(false);

    timer1_.setObjectName(QStringLiteral("Timer1"));
    timer1_.setInterval(1000);

    auto* frame = Place(new QGroupBox(QStringLiteral("Reader Output"), this), ctl::Frame1,
                        {120, 2160, 10455, 5655}, 3);
    frame->setFont(FrameTitleFont());

    const QFont normal = WindowFont();
    for (int n = 0; n < 3; ++n) {
        const int top = 360 + 360 * n;
        const QString track = QString::number(n + 1);
        Place(new QLabel(QStringLiteral("Track") + track + QStringLiteral(" Status:"), frame),
              ctl::Label3(n), {240, top, 1455, 255}, 8 + n)
            ->setFont(normal);
        Place(new QCheckBox(QStringLiteral("OK"), frame), ctl::chkStatusOK(n),
              {1680, top, 615, 255}, 11 + n)
            ->setFont(normal);
        Place(new QLabel(QStringLiteral("Track") + track + QStringLiteral(" Length:"), frame),
              ctl::Label4(n), {2760, top, 1455, 255}, 14 + n)
            ->setFont(normal);
        Place(ReadOnlyBox(frame), ctl::txtTrackLenght(n), {4200, top, 1095, 315}, 17 + n)
            ->setFont(normal);
    }
    Place(new CaptionButton(QStringLiteral("Clear"), frame), ctl::cmdClearCard,
          {9240, 720, 975, 375}, 1)
        ->setFont(normal);
    Place(new QLabel(QStringLiteral("0"), frame), ctl::lblBrushTimes, {9120, 1200, 1095, 255}, 4)
        ->setFont(normal);
    auto* card_list = Place(new QListWidget(frame), ctl::lstCardData, {240, 2760, 9975, 2700}, 0);
    card_list->setFont(normal);
    SetBase(card_list, kLightGrey);
    // Made last so that it lies above its neighbours when it fills the frame.
    auto* card_box =
        Place(new QPlainTextEdit(frame), ctl::txtCardData, {240, 1440, 9975, 1335}, 21);
    card_box->setFont(normal);
    card_box->setLineWrapMode(QPlainTextEdit::NoWrap);
    card_box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    card_box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    // The hidden result log and its Clear button lie over the frame.
    auto* results = Place(new QListWidget(this), ctl::lstResults, {120, 5520, 5295, 2220}, 6);
    SetBase(results, kLightGrey);
    results->setVisible(false);
    Place(new CaptionButton(QStringLiteral("Clear"), this), ctl::cmdClearLog,
          {240, 5280, 1455, 255}, 5)
        ->setVisible(false);

    // Keyboard focus moves through the controls that take it by tab index.
    std::vector<QWidget*> order;
    for (const auto& entry : controls_) {
        QWidget* widget = entry.second;
        if (widget->property("tabIndex").isValid() && widget->focusPolicy() & Qt::TabFocus) {
            order.push_back(widget);
        }
    }
    std::sort(order.begin(), order.end(), [](QWidget* a, QWidget* b) {
        return a->property("tabIndex").toInt() < b->property("tabIndex").toInt();
    });
    for (std::size_t i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

}  // namespace kestro
