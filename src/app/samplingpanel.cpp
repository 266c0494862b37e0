#include "app/samplingpanel.h"

#include "app/applicationevents.h"
#include "app/layoutparts.h"
#include "controls/numericfield.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>

namespace kelvalog {

TSamplingPanel::TSamplingPanel(QWidget& Form)
{
    FGroupBox1 = Group(&Form, "GroupBox1", {1, 32, 201, 82}, "Sampling",
                       "Sample parameters|Data sampling parameters");
    FSampleIntervalField =
        IntegerField(FGroupBox1, "SampleIntervalField", {8, 32, 89, 21}, "iiiiiiiiiii", 1, 1000,
                     false, "Sample speed|The time (in seconds) between two samples");
    Caption(FGroupBox1, "AttachedLabel1", {8, 19, 89, 13}, "Interval (seconds)",
            FSampleIntervalField);
    FAverageSamplesCheckBox = Place(new QCheckBox(QStringLiteral("Average"), FGroupBox1),
                                    "AverageSamplesCheckBox", 8, 56, 89, 17);
    FAverageSamplesCheckBox->setChecked(true);
    SetHint(FAverageSamplesCheckBox,
            QStringLiteral("Average|Average the temperature over the sampling interval"));
    FWarningLabel = Label(FGroupBox1, "WarningLabel", {104, 16, 89, 57},
                          "Selected hardware will not provide a new sample each second");
    FWarningLabel->setWordWrap(true);
    QPalette Colours = FWarningLabel->palette();
    Colours.setColor(QPalette::WindowText, Colours.color(QPalette::Link));
    FWarningLabel->setPalette(Colours);
}

} // namespace kelvalog
