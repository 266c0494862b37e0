#include "app/layoutparts.h"

#include "app/applicationevents.h"
#include "app/widgets.h"
#include "controls/attachedlabel.h"
#include "controls/numericfield.h"

#include <QFrame>
#include <QLabel>
#include <QStackedWidget>

namespace kelvalog {

namespace {

constexpr double MaxSingle = 3.4e38;

} // namespace

QGroupBox* Group(QWidget* Parent, const char* Name, QRect R, const char* Caption, const char* Hint)
{
    auto* Box = Place(new TGroupFrame(QString::fromUtf8(Caption), Parent), Name, R.x(), R.y(),
                      R.width(), R.height());
    SetHint(Box, QString::fromUtf8(Hint));
    return Box;
}

QLabel* Label(QWidget* Parent, const char* Name, QRect R, const char* Caption, bool Centred)
{
    auto* L = Place(new QLabel(QString::fromUtf8(Caption), Parent), Name, R.x(), R.y(), R.width(),
                    R.height());
    L->setAlignment((Centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    return L;
}

TAttachedLabel* Caption(QWidget* Parent, const char* Name, QRect R, const char* Text,
                        QWidget* Control)
{
    auto* L = Place(new TAttachedLabel(QString::fromUtf8(Text), Parent), Name, R.x(), R.y(),
                    R.width(), R.height());
    // Offsets that keep the label where the layout puts it.
    L->setControl(Control, {R.x() - Control->x(), R.bottom() + 1 - Control->y(), true});
    return L;
}

TNumericField* IntegerField(QWidget* Parent, const char* Name, QRect R, const char* Mask,
                            std::int32_t Low, std::int32_t High, bool ReadOnly, const char* Hint)
{
    auto* F = Place(new TNumericField(Parent), Name, R.x(), R.y(), R.width(), R.height());
    F->setDataType(TNumericDataType::nftLongInt);
    F->setPictureMask(QString::fromLatin1(Mask));
    F->setRange(Low, High);
    F->setReadOnly(ReadOnly);
    if (Hint)
        SetHint(F, QString::fromUtf8(Hint));
    return F;
}

TNumericField* ValueField(QWidget* Parent, const std::string& Name, int Left, int Top,
                          const char* Hint, bool Pressure)
{
    auto* F = Place(new TNumericField(Parent), Name.c_str(), Left, Top, 41, 21);
    F->setDataType(TNumericDataType::nftSingle);
    F->setPictureMask(QString::fromLatin1(Pressure ? "#####" : "###.##"));
    F->setRange(-MaxSingle, MaxSingle);
    F->setReadOnly(true);
    SetHint(F, QString::fromUtf8(Hint));
    return F;
}

QFrame* RaisedPanel(QWidget* Parent, const char* Name, QRect R)
{
    auto* P = Place(new QFrame(Parent), Name, R.x(), R.y(), R.width(), R.height());
    P->setFrameStyle(QFrame::Panel | QFrame::Raised);
    P->setLineWidth(1);
    return P;
}

QWidget* AddPage(QStackedWidget* Pages, const char* Name, const char* Hint)
{
    auto* Page = new QWidget;
    Page->setObjectName(QString::fromLatin1(Name));
    SetHint(Page, QString::fromUtf8(Hint));
    Pages->addWidget(Page);
    return Page;
}

} // namespace kelvalog
