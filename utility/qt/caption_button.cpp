#include "caption_button.h"

#include <QEvent>
#include <QFontMetrics>
#include <QStringList>
#include <QStyle>

namespace kestro {

CaptionButton::CaptionButton(const QString& caption, bool wrap, QWidget* parent)
    : QPushButton(parent), wrap_(wrap) {
    SetCaption(caption);
}

void CaptionButton::SetCaption(const QString& caption) {
    caption_ = caption;
    Rewrap();
}

void CaptionButton::resizeEvent(QResizeEvent* event) {
    QPushButton::resizeEvent(event);
    Rewrap();
}

void CaptionButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        Rewrap();
    }
}

// Breaks the caption between words so that each line fits the button's
// width less the style's margins; a single word too long stays whole.
void CaptionButton::Rewrap() {
    const QFontMetrics metrics(font());
    const int margin = style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, this) +
                       2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int room = width() - margin;
    if (!wrap_ || metrics.horizontalAdvance(caption_) <= room) {
        setText(caption_);
        return;
    }
    QStringList lines;
    QString line;
    for (const QString& word : caption_.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(longer) > room) {
            lines << line;
            line = word;
        } else {
            line = longer;
        }
    }
    lines << line;
    setText(lines.join(QLatin1Char('\n')));
}

}  // namespace kestro
