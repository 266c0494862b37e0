#include "controls/simplefield.h"

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

} // namespace kelvalog
