// The controller's keys in the settings file.

#include "app/mainform.h"
#include "common/numbertext.h"
#include "controls/numericfield.h"
#include "settings/inifilestore.h"

#include <QComboBox>

namespace kelvalog {

namespace {

struct TCalibrationKey
{
    const char* Section;
    const char* Key;
    const char* Default;
    double TMainForm::*Value;
};

constexpr TCalibrationKey CalibrationKeys[] = {
    {"Tamb RH sensor", "Span adjust", "1", &TMainForm::TambRhSpan},
    {"Tamb RH sensor", "Offset adjust", "0", &TMainForm::TambRhOffset},
    {"RH sensor", "Span adjust", "1", &TMainForm::RhSpan},
    {"RH sensor", "Offset adjust", "0", &TMainForm::RhOffset},
};

std::optional<double> ReadCalibration(const std::string& Text, char DecimalSeparator)
{
    if (auto Value = ParseDecimal(Text, DecimalSeparator))
        return Value;
    // A file written under a locale with a point stays readable under one
    // with a comma.
    if (DecimalSeparator != '.')
        return ParseDecimal(Text, '.');
    return std::nullopt;
}

} // namespace

void TMainForm::LoadSettings()
{
    TStoreUse Use(*IniFileStore);
    FTopPanel->PSensorLowerRange()->SetIntegerValue(
        IniFileStore->ReadIntegerValue("Pressure sensor", "Lower range", 600));
    FTopPanel->PSensorUpperRange()->SetIntegerValue(
        IniFileStore->ReadIntegerValue("Pressure sensor", "Upper range", 1025));
    const std::int32_t Chosen = IniFileStore->ReadIntegerValue("Board selection", "Board", 0);
    FTopPanel->UsedBoardComboBox()->setCurrentIndex(Chosen == Board5V || Chosen == Board3V ? Chosen
                                                                                           : -1);

    // A number that cannot be read takes its own default for this run and
    // keeps its text in the file, instead of zeroing the numbers after it.
    for (std::size_t I = 0; I < std::size(CalibrationKeys); ++I) {
        const TCalibrationKey& Key = CalibrationKeys[I];
        const std::string Text = IniFileStore->ReadTextValue(Key.Section, Key.Key, Key.Default);
        FUnreadCalibration[I].reset();
        if (const auto Value = ReadCalibration(Text, Locale().DecimalSeparator)) {
            this->*Key.Value = *Value;
        } else {
            this->*Key.Value = *ParseDecimal(Key.Default, '.');
            FUnreadCalibration[I] = Text;
        }
    }
}

void TMainForm::SaveSettings()
{
    TStoreUse Use(*IniFileStore);
    IniFileStore->WriteIntegerValue("Pressure sensor", "Lower range",
                                    FTopPanel->PSensorLowerRange()->GetIntegerValue());
    IniFileStore->WriteIntegerValue("Pressure sensor", "Upper range",
                                    FTopPanel->PSensorUpperRange()->GetIntegerValue());
    IniFileStore->WriteIntegerValue("Board selection", "Board", Board());
    for (std::size_t I = 0; I < std::size(CalibrationKeys); ++I) {
        const TCalibrationKey& Key = CalibrationKeys[I];
        const std::string Text = FUnreadCalibration[I]
                                     ? *FUnreadCalibration[I]
                                     : FormatGeneral(this->*Key.Value, Locale().DecimalSeparator);
        IniFileStore->WriteTextValue(Key.Section, Key.Key, Text);
    }
    Use.Close();
}

QString TMainForm::SettingsFileName() const
{
    return QString::fromStdString(IniFileStore->FileName());
}

} // namespace kelvalog
