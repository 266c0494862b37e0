#include "app/systemlocale.h"

#include <QLocale>
#include <QRegularExpression>

namespace kelvalog {

TLocaleFacts LocaleFactsFrom(const QLocale& Locale)
{
    TLocaleFacts Facts;
    const QString Point = Locale.decimalPoint();
    // A separator beyond one byte cannot go into the texts; keep the point.
    if (Point.size() == 1 && Point.at(0).unicode() < 0x80)
        Facts.DecimalSeparator = static_cast<char>(Point.at(0).unicode());

    Facts.ShortDatePattern = Locale.dateFormat(QLocale::ShortFormat).toStdString();

    const QString Time = Locale.timeFormat(QLocale::ShortFormat);
    const auto Hour = Time.indexOf(QRegularExpression(QStringLiteral("[hH]")));
    const auto Designator = Time.indexOf(QRegularExpression(QStringLiteral("[aA]")));
    Facts.TwentyFourHourClock = Designator < 0;
    Facts.LeadingZeroInHour = Time.contains(QLatin1String("hh"), Qt::CaseInsensitive);
    if (Hour >= 0) {
        auto After = Hour;
        while (After < Time.size() &&
               (Time.at(After) == QLatin1Char('h') || Time.at(After) == QLatin1Char('H')))
            ++After;
        if (After < Time.size() && Time.at(After) != QLatin1Char(' ') && !Time.at(After).isLetter())
            Facts.TimeSeparator = QString(Time.at(After)).toStdString();
    }
    Facts.DesignatorBeforeTime = Designator >= 0 && Hour >= 0 && Designator < Hour;
    if (!Locale.amText().isEmpty())
        Facts.AmDesignator = Locale.amText().toStdString();
    if (!Locale.pmText().isEmpty())
        Facts.PmDesignator = Locale.pmText().toStdString();

    for (int Month = 1; Month <= 12; ++Month) {
        Facts.ShortMonthNames[Month - 1] =
            Locale.monthName(Month, QLocale::ShortFormat).toStdString();
        Facts.LongMonthNames[Month - 1] =
            Locale.monthName(Month, QLocale::LongFormat).toStdString();
    }
    // Qt counts days from Monday = 1; the facts from Sunday.
    for (int Day = 0; Day < 7; ++Day) {
        const int QtDay = Day == 0 ? 7 : Day;
        Facts.ShortDayNames[Day] = Locale.dayName(QtDay, QLocale::ShortFormat).toStdString();
        Facts.LongDayNames[Day] = Locale.dayName(QtDay, QLocale::LongFormat).toStdString();
    }
    return Facts;
}

} // namespace kelvalog
