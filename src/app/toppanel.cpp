#include "app/toppanel.h"

#include "acquisition/displayfields.h"
#include "app/applicationevents.h"
#include "app/glyphs.h"
#include "app/layoutparts.h"
#include "controls/attachedlabel.h"
#include "controls/numericfield.h"

#include <QComboBox>
#include <QFrame>
#include <QToolButton>

namespace kelvalog {

namespace {

void MakeActionButton(QToolButton* Button)
{
    Button->setCheckable(true);
    Button->setAutoRaise(true);
    Button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    Button->setIconSize(QSize(16, 16));
    Button->setFocusPolicy(Qt::NoFocus);
}

} // namespace

TTopPanel::TTopPanel(QWidget& Form)
{
    FPanel1 = Place(new QFrame(&Form), "Panel1", 0, 0, 641, 33);
    FPanel1->setFrameStyle(QFrame::Box | QFrame::Plain);
    FPanel1->setLineWidth(1);
    FOnLineAction = Place(new QToolButton(FPanel1), "OnLineAction", 8, 3, 89, 22);
    FLogOnAction = Place(new QToolButton(FPanel1), "LogOnAction", 104, 4, 89, 22);
    FOnLineAction->setText(QStringLiteral("&On line"));
    FLogOnAction->setText(QStringLiteral("&Write logfile"));
    FOnLineAction->setIcon(OnLineGlyph());
    FLogOnAction->setIcon(WriteLogGlyph());
    MakeActionButton(FOnLineAction);
    MakeActionButton(FLogOnAction);
    SetHint(FOnLineAction, QStringLiteral("On line|Switch the board on line or off line"));
    SetHint(FLogOnAction, QStringLiteral("Write|Write to the selected log file or excel sheet"));

    FUsedBoardComboBox = Place(new QComboBox(FPanel1), "UsedBoardComboBox", 216, 4, 145, 21);
    FUsedBoardComboBox->setEditable(true);
    FUsedBoardComboBox->setInsertPolicy(QComboBox::NoInsert);
    FUsedBoardComboBox->addItems({QStringLiteral("I2C (5V)"), QStringLiteral("I2C (3,3V)")});
    FUsedBoardComboBox->setCurrentIndex(Board5V);
    SetHint(FUsedBoardComboBox, QStringLiteral("Type|The type of board you use"));

    FPSensorLowerRange = IntegerField(FPanel1, "PSensorLowerRange", {541, 5, 41, 21}, "iiiiiiiiiii",
                                      MinInt, MaxInt, false, "P|Pressure sensor minimum value");
    FPSensorUpperRange = IntegerField(FPanel1, "PSensorUpperRange", {588, 5, 41, 21}, "iiiiiiiiiii",
                                      0, MaxInt, false, "P|Pressure sensor maximum value");
    FAttachedLabel23 = Caption(FPanel1, "AttachedLabel23", {424, 7, 111, 13},
                               "Pressure sensor range ", FPSensorLowerRange);
}

void TTopPanel::AddTrendAction()
{
    FTrendAction = new QToolButton(FPanel1);
    FTrendAction->setObjectName(QStringLiteral("TrendAction"));
    // Between the board list and the pressure range; wide enough for its
    // caption beside the glyph.
    FTrendAction->setGeometry(366, 4, 56, 22);
    FTrendAction->setText(QStringLiteral("&Trend"));
    FTrendAction->setIcon(TrendGlyph());
    MakeActionButton(FTrendAction);
    SetHint(FTrendAction, QStringLiteral("Trend|Show or hide how every channel moved over time"));
}

void TTopPanel::ShowBoard(int Board)
{
    FPSensorUpperRange->setVisible(Board == Board5V);
    FPSensorLowerRange->setVisible(Board == Board5V);
}

} // namespace kelvalog
