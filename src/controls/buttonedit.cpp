#include "controls/buttonedit.h"

#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>
#include <QToolButton>

namespace kelvalog {

namespace {
bool isBreak(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

QIcon ellipsisIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    for (int i = 0; i < 3; ++i)
        p.drawRect(3 + i * 4, 11, 2, 2);
    return QIcon(pm);
}
} // namespace

TButtonEdit::TButtonEdit(QWidget* Parent) : QLineEdit(Parent)
{
    FButton = new QToolButton(this);
    FButton->setFocusPolicy(Qt::NoFocus);
    FButton->setCursor(Qt::ArrowCursor);
    FButton->setIcon(ellipsisIcon());
    FButton->setIconSize(QSize(16, 16));
    QObject::connect(FButton, &QToolButton::clicked, this, [this] { buttonClicked(); });
    placeButton();
}

void TButtonEdit::setShowButton(bool On)
{
    FShowButton = On;
    FButton->setVisible(On);
    placeButton();
}

QString TButtonEdit::FoldLineBreaks(const QString& Text)
{
    QString out;
    out.reserve(Text.size());
    for (qsizetype i = 0; i < Text.size();) {
        if (!isBreak(Text[i])) {
            out += Text[i++];
            continue;
        }
        qsizetype end = i;
        while (end < Text.size() && isBreak(Text[end]))
            ++end;
        const bool blankBefore = i > 0 && Text[i - 1] == QLatin1Char(' ');
        const bool blankAfter = end < Text.size() && Text[end] == QLatin1Char(' ');
        if (!blankBefore && !blankAfter)
            out += QLatin1Char(' ');
        i = end;
    }
    return out;
}

void TButtonEdit::setText(const QString& Text)
{
    QLineEdit::setText(FoldLineBreaks(Text));
}

void TButtonEdit::placeButton()
{
    const int side = std::max(0, height() - 4);
    const int w = std::max(side, 18);
    FButton->setGeometry(width() - w - 2, 2, w, side);
    setTextMargins(0, 0, FShowButton ? w : 0, 0);
}

void TButtonEdit::resizeEvent(QResizeEvent* Event)
{
    QLineEdit::resizeEvent(Event);
    placeButton();
}

void TButtonEdit::buttonClicked()
{
    if (!hasFocus()) {
        setFocus(Qt::MouseFocusReason);
        if (!hasFocus())
            return;
    }
    if (OnButtonClick)
        OnButtonClick(this, QPoint(x(), y() + height()));
}

} // namespace kelvalog
