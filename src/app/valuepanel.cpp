#include "app/valuepanel.h"

#include "app/layoutparts.h"
#include "app/widgets.h"
#include "controls/attachedlabel.h"
#include "controls/numericfield.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>

namespace kelvalog {

namespace {

struct TRow
{
    TFieldRow Row;
    const char* CaptionName;
    const char* Caption;
    QRect CaptionRect;
    QPoint Actual;
    QPoint Sampled;
    const char* Hint;
};

struct TFilteredRow
{
    TFieldRow Row;
    const char* CaptionName;
    const char* Caption;
    QRect CaptionRect;
    QPoint Filtered;
    const char* Hint;
};

constexpr TRow Rows5V[] = {
    {TFieldRow::T51,
     "NumericField1Label1",
     "Pressure",
     {12, 46, 50, 13},
     {68, 47},
     {124, 47},
     "P|Pressure sensor"},
    {TFieldRow::T52,
     "AttachedLabel2",
     "Tobj (°C)",
     {12, 84, 50, 13},
     {68, 85},
     {124, 84},
     "IR|Temperature from IR sensor"},
    {TFieldRow::T53,
     "AttachedLabel3",
     "Tamb (°C)",
     {12, 109, 50, 13},
     {68, 106},
     {124, 106},
     "Tamb|Ambient temperature from IR sensor"},
    {TFieldRow::T54,
     "AttachedLabel4",
     "T1 (°C)",
     {12, 145, 50, 13},
     {68, 145},
     {124, 145},
     "T1|Ostrel sensor"},
    {TFieldRow::T55,
     "AttachedLabel5",
     "T2 (°C)",
     {12, 170, 50, 13},
     {68, 167},
     {124, 167},
     "T2|Ostrel sensor"},
};
constexpr TRow Rows3V[] = {
    {TFieldRow::T31, "AttachedLabel6", "Tobj (°C)", {12, 46, 50, 13}, {68, 47}, {124, 47}, "IR ("},
    {TFieldRow::T32,
     "AttachedLabel7",
     "Tamb (°C)",
     {12, 67, 50, 13},
     {68, 68},
     {124, 68},
     "Tamb|Ambient temperature from IR sensor"},
    {TFieldRow::T33,
     "AttachedLabel8",
     "RH(%)",
     {12, 98, 50, 13},
     {68, 95},
     {124, 95},
     "Tamb|Ambient temperature from IR sensor"},
    {TFieldRow::T34,
     "AttachedLabel11",
     "Tamb (°C)",
     {12, 118, 50, 13},
     {68, 118},
     {124, 118},
     "Tamb|Ambient temperature from RH sensor"},
    {TFieldRow::T35,
     "AttachedLabel9",
     "T1 (°C)",
     {12, 143, 50, 13},
     {68, 143},
     {124, 145},
     "T1|Ostrel sensor"},
    {TFieldRow::T36,
     "AttachedLabel10",
     "T2 (°C)",
     {12, 170, 50, 13},
     {68, 167},
     {124, 167},
     "T2|Ostrel sensor"},
};
constexpr TFilteredRow Filtered5V[] = {
    {TFieldRow::T51, "AttachedLabel17", "Press", {7, 46, 50, 13}, {55, 46}, "P|Pressure (mbar)"},
    {TFieldRow::T52,
     "AttachedLabel18",
     "Tobj (°C)",
     {7, 85, 50, 13},
     {55, 84},
     "IR|Temperature from IR sensor"},
    {TFieldRow::T53,
     "AttachedLabel19",
     "Tamb (°C)",
     {7, 105, 50, 13},
     {55, 104},
     "Tamb|Ambient temperature from IR sensor"},
    {TFieldRow::T54, "AttachedLabel20", "T1 (°C)", {7, 145, 50, 13}, {55, 144}, "T1|Ostrel sensor"},
    {TFieldRow::T55, "AttachedLabel21", "T2 (°C)", {7, 165, 50, 13}, {55, 164}, "T2|Ostrel sensor"},
};
constexpr TFilteredRow Filtered3V[] = {
    {TFieldRow::T31, "AttachedLabel22", "Tobj(°C)", {3, 48, 50, 13}, {53, 47}, "IR ("},
    {TFieldRow::T32,
     "AttachedLabel16",
     "Tamb (°C)",
     {3, 67, 50, 13},
     {53, 68},
     "Tamb|Ambient temperature from IR sensor"},
    {TFieldRow::T33,
     "AttachedLabel15",
     "RH(%)",
     {3, 99, 50, 13},
     {53, 95},
     "Tamb|Ambient temperature from IR sensor"},
    {TFieldRow::T34,
     "AttachedLabel14",
     "Tamb (°C)",
     {3, 118, 50, 13},
     {53, 118},
     "Tamb|Ambient temperature from RH sensor"},
    {TFieldRow::T35, "AttachedLabel13", "T1 (°C)", {3, 145, 50, 13}, {53, 145}, "T1|Ostrel sensor"},
    {TFieldRow::T36, "AttachedLabel12", "T2 (°C)", {3, 168, 50, 13}, {53, 164}, "T2|Ostrel sensor"},
};

} // namespace

TValuePanel::TValuePanel(QWidget& Form)
{
    const char* SampleHint = "Sample parameters|Data sampling parameters";
    FSampleGroupBox5V =
        Group(&Form, "SampleGroupBox5V", {1, 120, 201, 225}, "5V I2C interface", SampleHint);
    FSampleGroupBox3V =
        Group(&Form, "SampleGroupBox3V", {1, 120, 201, 225}, "3.3V I2C interface", SampleHint);
    auto BuildSampleGroup = [this](QGroupBox* Box, const char* Heading1, const char* Heading2,
                                   const char* BevelName, auto& Rows) {
        Label(Box, Heading1, {28, 19, 81, 13}, "Actual values", true);
        Label(Box, Heading2, {115, 19, 81, 13}, "Sampled values", true);
        Place(new TBevelLine(Box), BevelName, 115, 31, 10, 181);
        for (const TRow& R : Rows) {
            const bool Pressure = R.Row == TFieldRow::T51;
            auto* Actual = ValueField(Box, FieldName({R.Row, TFieldKind::Actual}), R.Actual.x(),
                                      R.Actual.y(), R.Hint, Pressure);
            auto* Sampled = ValueField(Box, FieldName({R.Row, TFieldKind::Sampled}), R.Sampled.x(),
                                       R.Sampled.y(), R.Hint, Pressure);
            FDisplayFields[FieldIndex({R.Row, TFieldKind::Actual})] = Actual;
            FDisplayFields[FieldIndex({R.Row, TFieldKind::Sampled})] = Sampled;
            Caption(Box, R.CaptionName, R.CaptionRect, R.Caption, Actual);
        }
    };
    BuildSampleGroup(FSampleGroupBox5V, "Label1", "Label2", "Bevel1", Rows5V);
    BuildSampleGroup(FSampleGroupBox3V, "Label6", "Label7", "Bevel2", Rows3V);
}

void TValuePanel::AddFilteredPanels(QWidget& FilterBox)
{
    FFilteredPanel5V = RaisedPanel(&FilterBox, "FilteredPanel5V", {124, 88, 98, 213});
    FFilteredPanel3V = RaisedPanel(&FilterBox, "FilteredPanel3V", {124, 88, 98, 213});
    Label(FFilteredPanel5V, "Label3", {8, 8, 81, 13}, "Filtered values", true);
    Label(FFilteredPanel3V, "Label8", {8, 8, 81, 13}, "Filtered values", true);
    auto BuildFilteredPanel = [this](QFrame* Box, auto& Rows) {
        for (const TFilteredRow& R : Rows) {
            auto* F = ValueField(Box, FieldName({R.Row, TFieldKind::Filtered}), R.Filtered.x(),
                                 R.Filtered.y(), R.Hint, R.Row == TFieldRow::T51);
            FDisplayFields[FieldIndex({R.Row, TFieldKind::Filtered})] = F;
            Caption(Box, R.CaptionName, R.CaptionRect, R.Caption, F);
        }
    };
    BuildFilteredPanel(FFilteredPanel5V, Filtered5V);
    BuildFilteredPanel(FFilteredPanel3V, Filtered3V);
}

void TValuePanel::ShowBoard(int Board)
{
    FSampleGroupBox5V->setVisible(Board == Board5V);
    FSampleGroupBox3V->setVisible(Board == Board3V);
    FFilteredPanel5V->setVisible(Board == Board5V);
    FFilteredPanel3V->setVisible(Board == Board3V);
}

} // namespace kelvalog
