#include "controls/simplefield.h"

#include <QKeyEvent>

namespace kelvalog {

TSimpleField::TSimpleField(QWidget* Parent) : TEntryField(Parent)
{
    setReadOnly(true);
    setAlignment(TAlign::Left);
}

void TSimpleField::SetTextValue(const QString& Text)
{
    setShownText(Text.trimmed().left(MaxLength));
}

void TSimpleField::keyPressEvent(QKeyEvent* Event)
{
    const Qt::KeyboardModifiers mods = Event->modifiers() & ~Qt::KeypadModifier;
    const int key = Event->key();
    const bool ctrl = mods == Qt::ControlModifier;
    const bool shift = mods == Qt::ShiftModifier;
    const bool alt = mods == Qt::AltModifier;

    if ((ctrl && key == Qt::Key_X) || (shift && key == Qt::Key_Delete)) {
        // Cut copies but a read-only field keeps its text.
        copySelection();
        Beep();
        return;
    }
    if ((ctrl && key == Qt::Key_V) || (shift && key == Qt::Key_Insert) ||
        (ctrl && key == Qt::Key_Z) || (alt && key == Qt::Key_Backspace)) {
        Beep();
        return;
    }
    if (handleCommonKey(Event))
        return;
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete) {
        Beep();
        return;
    }
    const QString text = Event->text();
    if (text.size() == 1 && text[0].isPrint() && !mods.testFlag(Qt::ControlModifier) &&
        !mods.testFlag(Qt::AltModifier)) {
        Beep();
        return;
    }
    Event->ignore();
}

} // namespace kelvalog
