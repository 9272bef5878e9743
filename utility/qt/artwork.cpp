#include "artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kestro {

namespace {

// A card with its magnetic stripe, in a box of the given size at origin.
void DrawCard(QPainter& p, const QRectF& card) {
    const qreal radius = card.height() * 0.08;
    QLinearGradient face(card.topLeft(), card.bottomRight());
    face.setColorAt(0.0, QColor(74, 144, 226));
    face.setColorAt(1.0, QColor(30, 78, 160));
    p.setPen(QPen(QColor(20, 40, 90), 1.0));
    p.setBrush(face);
    p.drawRoundedRect(card, radius, radius);
    const QRectF stripe(card.left(), card.top() + card.height() * 0.16, card.width(),
                        card.height() * 0.22);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(25, 25, 25));
    p.drawRect(stripe);
}

// A swipe reader body: a block with a slot along its top.
void DrawReader(QPainter& p, const QRectF& body) {
    QLinearGradient shade(body.topLeft(), body.bottomLeft());
    shade.setColorAt(0.0, QColor(96, 96, 104));
    shade.setColorAt(1.0, QColor(48, 48, 54));
    p.setPen(QPen(QColor(30, 30, 34), 1.0));
    p.setBrush(shade);
    p.drawRoundedRect(body, 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(16, 16, 18));
    p.drawRect(QRectF(body.left() + 6, body.top() + 4, body.width() - 12, 5));
    p.setBrush(QColor(60, 200, 90));
    p.drawEllipse(QPointF(body.right() - 14, body.bottom() - 12), 4, 4);
}

}  // namespace

QImage BannerPicture() {
    QImage image(300, 130, QImage::Format_RGB888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, 130);
    sky.setColorAt(0.0, QColor(236, 242, 250));
    sky.setColorAt(1.0, QColor(190, 206, 228));
    p.fillRect(image.rect(), sky);

    DrawCard(p, QRectF(40, 10, 110, 68));
    // Motion lines: the card is on its way down through the slot.
    p.setPen(QPen(QColor(120, 140, 170), 2.0, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i) {
        p.drawLine(QPointF(22, 20 + i * 18), QPointF(34, 20 + i * 18));
    }
    DrawReader(p, QRectF(20, 74, 150, 44));

    QFont title;
    title.setStyleHint(QFont::SansSerif);
    title.setBold(true);
    title.setPixelSize(24);
    p.setFont(title);
    p.setPen(QColor(30, 60, 120));
    p.drawText(QRectF(176, 30, 120, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("USB MSR"));
    QFont subtitle = title;
    subtitle.setBold(false);
    subtitle.setPixelSize(14);
    p.setFont(subtitle);
    p.setPen(QColor(60, 70, 90));
    p.drawText(QRectF(176, 62, 120, 40), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               QStringLiteral("Card reader\nconfiguration"));
    return image;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size / 32.0;
        DrawCard(p, QRectF(3 * s, 4 * s, 26 * s, 17 * s));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(70, 70, 78));
        p.drawRoundedRect(QRectF(1 * s, 19 * s, 30 * s, 11 * s), 2 * s, 2 * s);
        p.setBrush(QColor(60, 200, 90));
        p.drawEllipse(QPointF(26 * s, 25 * s), 2 * s, 2 * s);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace kestro
