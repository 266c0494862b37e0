#include "app/filterpanel.h"

#include "app/applicationevents.h"
#include "app/layoutparts.h"
#include "controls/attachedlabel.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "controls/slider.h"

#include <QGroupBox>
#include <QLabel>
#include <QStackedWidget>

namespace kelvalog {

TFilterPanel::TFilterPanel(QWidget& Form)
{
    FFilterBox = Group(&Form, "FilterBox", {208, 32, 225, 313}, "Filtering",
                       "Filter|The filtering to be applied to the measured values");
    FFilterPages =
        Place(new QStackedWidget(FFilterBox), "FilterPages", 8, 32 + PageTop, 121, 273 - PageTop);
    SetHint(FFilterPages, QStringLiteral("Filter type"));
    AddPage(FFilterPages, "TabSheet1", "No filtering|Measured values will not be filtered");
    QWidget* TabSheet2 =
        AddPage(FFilterPages, "TabSheet2",
                "Moving average filtering|Measured values will be filtered using a moving average");
    QWidget* TabSheet3 =
        AddPage(FFilterPages, "TabSheet3",
                "Low pass filtering|Measured values will be filtered using a low pass");
    FMarFilterSizeField =
        IntegerField(TabSheet2, "MarFilterSizeField", {0, 48, 65, 21}, "iiiiiiiiiii", 1, 1000,
                     false, "Size|The length of the MAR filter buffer");
    Caption(TabSheet2, "MarSizeFieldLabel", {0, 35, 65, 13}, "MAR size", FMarFilterSizeField);

    FFilterSliderEdit = IntegerField(TabSheet3, "FilterSliderEdit", {0, 40, 33, 17}, "iiiiiiiiiii",
                                     MinInt, MaxInt, true, "Filtering|The amount of filtering");
    FFilterSliderEdit->setEnabled(false);
    FFilterSlider = Place(new TSlider(TabSheet3), "FilterSlider", 8, 64, 20, 177);
    FFilterSlider->setMin(1);
    FFilterSlider->setMax(99);
    FFilterSlider->setStep(1);
    FFilterSlider->setPosition(1);
    SetHint(FFilterSlider, QStringLiteral("Filtering|The amount of filtering"));
    Caption(TabSheet3, "Slider1Label1", {0, 19, 53, 13}, "Filtering (%)", FFilterSlider);
    Label(TabSheet3, "Label5", {36, 80, 65, 13}, "Very low pass");
    Label(TabSheet3, "Label4", {32, 216, 45, 13}, "Low pass");

    FFilterType = Place(new TDropDownList(FFilterBox), "FilterType", 8, 32, 209, 22);
    FFilterType->addItems({QStringLiteral("No filtering"), QStringLiteral("Moving Average"),
                           QStringLiteral("Low Pass")});
    SetHint(FFilterType,
            QStringLiteral("Filtering|The type of filtering to do on the sampled values"));
    Caption(FFilterBox, "FileTypeLabel1", {8, 19, 209, 13}, "Filtering", FFilterType);
    // The list lies above its pages but is made after them: Tab reaches it
    // before the pages' fields, as the eye does.
    QWidget::setTabOrder(FFilterType, FMarFilterSizeField);
    QWidget::setTabOrder(FMarFilterSizeField, FFilterSliderEdit);
    QWidget::setTabOrder(FFilterSliderEdit, FFilterSlider);
}

} // namespace kelvalog
